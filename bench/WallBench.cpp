// A camera wall in one process, on the real clock: N players, each fed by a
// scripted host with the simulated camera's 720p25 H.264 and 48 kHz stereo
// AAC released at media time, each drawing into its own mapped 480x270 X11
// window (tiled, not overlapping) with the renderer named on the command line
// (0x202 DirectDraw by default). Sound goes to SDL's dummy driver; as on a
// wall, the first player is heard and the others are muted. The hosts
// start 1/N s apart, so that the players' key frames do not all fall on the
// same instant, as with real cameras.
//
// After a settling time, for each player over the measured stretch:
// - taken on arrival: the share of the samples due in the stretch (video and
//   audio) that the player asked for within one picture interval (40 ms) of
//   their release; a sample never taken counts as late;
// - pictures per second: the windows' content changes the X server saw (one
//   DAMAGE report per put, counted on a connection of the benchmark's own);
// and for the whole process the processor time (all threads, user + system)
// per second, in all and per player, and per player that draws every
// picture (the time over the pictures drawn: a machine shared with other
// work may leave the wall behind), beside the X server's when this
// benchmark started it.
//
// Modes:
//   WallBench wall [seconds=10] [render kind=0x202] [player counts..., default 16 24 32]
//   WallBench offscreen-wall ...
//       the same in offscreen windows (no X server; pictures not counted).
//   WallBench one <render kind> [seconds=10] [width=1280 height=720]
//       one player in one window: the process's CPU per second of media.
//   WallBench write <file.ts> <seconds>
//       writes the camera's stream (the same samples) into an MPEG-TS file,
//       for other players to play the same stream.
// Without DISPLAY, the benchmark starts a private Xvfb large enough for the
// windows; with DISPLAY set (bench/compare-mpv), it uses that display.

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include "Common/TimeFunctions.h"
#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayer.h"
#include "simcam/SimulatedCamera.h"
#include "support/OffscreenTestWindow.h"
#include "support/ProcessCpu.h"
#include "support/ScriptedHost.h"
#include "support/StdoutCapture.h"
#include "support/X11TestWindow.h"
#include "support/XvfbServer.h"

// Last: Xlib's macros (None, Status) clash with the names above.
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>

namespace {

constexpr int kFrameRate = 25;
constexpr uint32_t kOnArrivalMs = 1000 / kFrameRate;
constexpr uint32_t kSettleMs = 3000;
constexpr uint32_t kTailMs = 2000;
constexpr uint32_t kFirstTimeMs = 10000;  // ScriptedHost's first sample time
constexpr int kTileWidth = 480;
constexpr int kTileHeight = 270;
constexpr int kColumns = 8;

simcam::CameraSettings camera() {
    simcam::CameraSettings settings;
    settings.width = 1280;
    settings.height = 720;
    settings.frameRate = kFrameRate;
    settings.keyFrameInterval = kFrameRate;
    settings.audioCodec = simcam::AudioCodec::AAC;
    settings.audioSampleRate = 48000;
    settings.audioChannels = 2;
    return settings;
}

// User + system milliseconds of another process so far, 0 when unknown.
double otherProcessCpuMs(pid_t pid) {
    if (pid <= 0) {
        return 0;
    }
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file) {
        return 0;
    }
    char text[1024] = {};
    const size_t length = std::fread(text, 1, sizeof(text) - 1, file);
    std::fclose(file);
    text[length] = '\0';
    // Fields 14 and 15 (utime, stime) follow the command name's closing parenthesis.
    const char* rest = std::strrchr(text, ')');
    unsigned long user = 0;
    unsigned long system = 0;
    if (!rest || std::sscanf(rest + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user,
                             &system) != 2) {
        return 0;
    }
    return static_cast<double>(user + system) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The camera's samples once, as items for every host.
struct Script {
    std::vector<ScriptedHost::Item> video;
    std::vector<ScriptedHost::Item> audio;
};

Script encode(uint32_t durationMs) {
    Script script;
    simcam::SimulatedCamera source(camera());
    for (const bool video : {true, false}) {
        std::vector<ScriptedHost::Item>& items = video ? script.video : script.audio;
        ScriptedHost::Item description;
        description.timeMs = kFirstTimeMs;
        description.flags = MEDIA_FLAG_DESCRIPTION;
        description.withData = false;
        description.withInfo = true;
        description.info = video ? source.videoStreamInfo() : source.audioStreamInfo();
        items.push_back(description);
        simcam::EncodedUnit unit;
        while ((video ? source.nextVideo(&unit) : source.nextAudio(&unit)) &&
               unit.timeMs < durationMs) {
            ScriptedHost::Item item;
            item.dueMs = unit.timeMs;
            item.timeMs = kFirstTimeMs + unit.timeMs;
            item.flags = unit.keyFrame ? MEDIA_FLAG_KEYFRAME : 0;
            item.data = std::move(unit.data);
            items.push_back(std::move(item));
        }
    }
    return script;
}

// When each of a host's samples was asked for, against its release.
class ArrivalCount {
public:
    explicit ArrivalCount(ScriptedHost* host) : m_host(host) {}

    // From the host's call hook, before the host hands out its next sample.
    void onCall(ScriptedHost::Call call) {
        if (call != ScriptedHost::Call::VideoSample && call != ScriptedHost::Call::AudioSample) {
            return;
        }
        const int32_t track = call == ScriptedHost::Call::VideoSample ? TRACK_VIDEO : TRACK_AUDIO;
        const size_t next = m_host->delivered(track);
        if (next >= m_host->count(track) || next <= m_lastCounted[track == TRACK_VIDEO]) {
            return;
        }
        const uint32_t now = RIVO_Common_Player::timeMs() - m_startMs;
        const uint32_t due = m_host->timeOf(track, next) - kFirstTimeMs;
        if (due > now) {
            return;  // not released yet: this call gets nothing
        }
        m_lastCounted[track == TRACK_VIDEO] = next;
        if (due >= m_fromMs && due < m_toMs) {
            m_onArrival[track == TRACK_VIDEO] += now - due <= kOnArrivalMs;
            m_lateMs[track == TRACK_VIDEO] += now - due;
            ++m_taken[track == TRACK_VIDEO];
        }
    }

    void start(uint32_t startMs, uint32_t fromMs, uint32_t toMs) {
        m_startMs = startMs;
        m_fromMs = fromMs;
        m_toMs = toMs;
    }
    // Share of the samples due in the stretch that were taken on arrival.
    double share(int32_t track) const {
        const size_t count = m_host->count(track);
        int due = 0;
        for (size_t i = 1; i < count; ++i) {
            const uint32_t at = m_host->timeOf(track, i) - kFirstTimeMs;
            due += at >= m_fromMs && at < m_toMs;
        }
        return due ? static_cast<double>(m_onArrival[track == TRACK_VIDEO]) / due : 0;
    }

    // Mean time from release to request of the samples taken in the stretch.
    double meanLateMs(int32_t track) const {
        const int taken = m_taken[track == TRACK_VIDEO];
        return taken ? static_cast<double>(m_lateMs[track == TRACK_VIDEO]) / taken : 0;
    }

private:
    ScriptedHost* m_host;
    // Written on the player's loop threads, one per track; read after stop().
    size_t m_lastCounted[2] = {0, 0};
    std::atomic<int> m_onArrival[2] = {{0}, {0}};
    std::atomic<int> m_taken[2] = {{0}, {0}};
    std::atomic<int64_t> m_lateMs[2] = {{0}, {0}};
    uint32_t m_startMs = 0;
    uint32_t m_fromMs = 0;
    uint32_t m_toMs = 0;
};

struct Player {
    ScriptedHost host;
    ArrivalCount arrivals{&host};
    std::unique_ptr<X11TestWindow> window;
    std::unique_ptr<OffscreenTestWindow> offscreen;  // instead of window
    CTavoMediaPlayer player;
};

// Counts the puts into windows that the X server reports through DAMAGE,
// on a connection of its own, until stopped.
class DamageCounter {
public:
    explicit DamageCounter(const std::vector<unsigned long>& windows)
        : m_display(XOpenDisplay(nullptr)), m_counts(windows.size()) {
        int error = 0;
        if (!m_display || !XDamageQueryExtension(m_display, &m_eventBase, &error)) {
            return;
        }
        for (unsigned long window : windows) {
            m_damages.push_back(XDamageCreate(m_display, window, XDamageReportNonEmpty));
        }
        XSync(m_display, False);
        m_thread = std::thread([this] { run(); });
    }
    ~DamageCounter() {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
        if (m_display) {
            for (Damage damage : m_damages) {
                XDamageDestroy(m_display, damage);
            }
            XCloseDisplay(m_display);
        }
    }

    bool valid() const { return !m_damages.empty(); }
    void setCounting(bool counting) { m_counting = counting; }
    int count(size_t window) const { return m_counts[window]; }

private:
    void run() {
        pollfd fd{ConnectionNumber(m_display), POLLIN, 0};
        while (!m_stop) {
            if (XPending(m_display) == 0) {
                poll(&fd, 1, 50);
                continue;
            }
            XEvent event;
            XNextEvent(m_display, &event);
            if (event.type != m_eventBase + XDamageNotify) {
                continue;
            }
            const XDamageNotifyEvent& damage = reinterpret_cast<XDamageNotifyEvent&>(event);
            for (size_t i = 0; i < m_damages.size(); ++i) {
                if (m_damages[i] == damage.damage) {
                    m_counts[i] += m_counting ? 1 : 0;
                    XDamageSubtract(m_display, damage.damage, None, None);
                }
            }
            XFlush(m_display);
        }
    }

    Display* m_display;
    int m_eventBase = 0;
    std::vector<Damage> m_damages;
    std::vector<std::atomic<int>> m_counts;
    std::atomic<bool> m_counting{false};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// Runs count players for settle + seconds + tail; returns the figures to
// print, empty when a window could not be made.
std::string runWall(const Script& script, int count, int32_t kind, int seconds, pid_t server,
                    int tileWidth, int tileHeight, bool offscreen) {
    std::vector<std::unique_ptr<Player>> players;
    std::vector<unsigned long> windows;
    for (int i = 0; i < count; ++i) {
        std::unique_ptr<Player> p(new Player);
        HWND handle = nullptr;
        if (offscreen) {
            p->offscreen.reset(new OffscreenTestWindow(tileWidth, tileHeight));
            handle = p->offscreen->handle();
        } else {
            p->window.reset(new X11TestWindow(tileWidth, tileHeight, (i % kColumns) * tileWidth,
                                              (i / kColumns) * tileHeight));
            if (!p->window->valid()) {
                return "";
            }
            handle = p->window->handle();
            windows.push_back(reinterpret_cast<uintptr_t>(handle));
        }
        for (const ScriptedHost::Item& item : script.video) {
            p->host.addItem(TRACK_VIDEO, item);
        }
        for (const ScriptedHost::Item& item : script.audio) {
            p->host.addItem(TRACK_AUDIO, item);
        }
        ArrivalCount* arrivals = &p->arrivals;
        p->host.setCallHook([arrivals](ScriptedHost::Call call) { arrivals->onCall(call); });
        p->player.setHostContext(p->host.context());
        p->player.setParam(PARAM_RENDER_KIND, &kind);
        p->player.setParam(PARAM_WINDOW, handle);
        if (i > 0) {
            int32_t muted = 0;
            p->player.setParam(PARAM_VOLUME, &muted);
        }
        players.push_back(std::move(p));
    }
    DamageCounter damage(windows);
    const uint32_t measuredMs = static_cast<uint32_t>(seconds) * 1000;
    // Every host's stretch lies the same time after its own start.
    for (int i = 0; i < count; ++i) {
        Player& p = *players[i];
        p.arrivals.start(RIVO_Common_Player::timeMs(), kSettleMs, kSettleMs + measuredMs);
        p.host.start();
        p.player.run();
        std::this_thread::sleep_for(std::chrono::milliseconds(1000 / count));
    }
    const auto lastStart = std::chrono::steady_clock::now();
    std::this_thread::sleep_until(lastStart + std::chrono::milliseconds(kSettleMs));
    damage.setCounting(true);
    const double cpuStart = processCpuMs();
    const double serverStart = otherProcessCpuMs(server);
    const auto wallStart = std::chrono::steady_clock::now();
    std::this_thread::sleep_until(wallStart + std::chrono::milliseconds(measuredMs));
    const double cpuMs = processCpuMs() - cpuStart;
    const double serverMs = otherProcessCpuMs(server) - serverStart;
    const double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wallStart)
            .count();
    damage.setCounting(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(kTailMs / 2));
    for (std::unique_ptr<Player>& p : players) {
        p->player.stop();
    }

    int keepingUp = 0;
    double allPictures = 0;
    std::string lines;
    for (int i = 0; i < count; ++i) {
        const double video = players[i]->arrivals.share(TRACK_VIDEO);
        const double audio = players[i]->arrivals.share(TRACK_AUDIO);
        // Offscreen windows have no server to count their pictures.
        const double pictures = offscreen ? kFrameRate : damage.count(i) * 1000.0 / wallMs;
        const bool keeps = video >= 0.95 && audio >= 0.95 && pictures >= 0.95 * kFrameRate;
        keepingUp += keeps;
        allPictures += pictures;
        char line[200];
        std::snprintf(line, sizeof(line),
                      "  player %2d: taken on arrival video %5.1f %% audio %5.1f %% (mean %3.0f "
                      "and %3.0f ms after release), %4.1f pictures/s%s",
                      i, 100 * video, 100 * audio, players[i]->arrivals.meanLateMs(TRACK_VIDEO),
                      players[i]->arrivals.meanLateMs(TRACK_AUDIO), pictures,
                      keeps ? "" : "  (behind)");
        lines += line;
        lines += "\n";
    }
    char summary[300];
    std::snprintf(summary, sizeof(summary),
                  "render_kind 0x%x, %d players in %dx%d %s windows, %d s: %d keep up; process "
                  "%.4f cores per player (%.3f in all; %.4f per player at %d pictures/s)",
                  kind, count, tileWidth, tileHeight, offscreen ? "offscreen" : "X11", seconds,
                  keepingUp, cpuMs / wallMs / count, cpuMs / wallMs,
                  cpuMs / wallMs / (allPictures / kFrameRate), kFrameRate);
    std::string report = summary;
    if (server > 0) {
        std::snprintf(summary, sizeof(summary), ", X server %.3f cores", serverMs / wallMs);
        report += summary;
    }
    if (!damage.valid() && !offscreen) {
        report += " (no DAMAGE: pictures not counted)";
    }
    return report + "\n" + lines;
}

// Writes the script's samples into an MPEG-TS file; false on failure.
bool writeFile(const Script& script, const char* path) {
    AVFormatContext* format = nullptr;
    if (avformat_alloc_output_context2(&format, nullptr, "mpegts", path) < 0) {
        return false;
    }
    const simcam::CameraSettings settings = camera();
    AVStream* video = avformat_new_stream(format, nullptr);
    video->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    video->codecpar->codec_id = AV_CODEC_ID_H264;
    video->codecpar->width = settings.width;
    video->codecpar->height = settings.height;
    video->time_base = AVRational{1, 1000};
    AVStream* audio = avformat_new_stream(format, nullptr);
    audio->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    audio->codecpar->codec_id = AV_CODEC_ID_AAC;
    audio->codecpar->sample_rate = settings.audioSampleRate;
    av_channel_layout_default(&audio->codecpar->ch_layout, settings.audioChannels);
    audio->time_base = AVRational{1, 1000};
    bool ok = avio_open(&format->pb, path, AVIO_FLAG_WRITE) >= 0 &&
              avformat_write_header(format, nullptr) >= 0;
    // Interleaved by time, as a camera sends them; descriptions left out.
    size_t v = 1;
    size_t a = 1;
    AVPacket* packet = av_packet_alloc();
    while (ok && (v < script.video.size() || a < script.audio.size())) {
        const bool takeVideo =
            a >= script.audio.size() ||
            (v < script.video.size() && script.video[v].timeMs <= script.audio[a].timeMs);
        const ScriptedHost::Item& item = takeVideo ? script.video[v++] : script.audio[a++];
        AVStream* stream = takeVideo ? video : audio;
        packet->data = const_cast<uint8_t*>(item.data.data());
        packet->size = static_cast<int>(item.data.size());
        packet->stream_index = stream->index;
        packet->pts = packet->dts =
            av_rescale_q(item.timeMs - kFirstTimeMs, AVRational{1, 1000}, stream->time_base);
        packet->flags = (item.flags & MEDIA_FLAG_KEYFRAME) ? AV_PKT_FLAG_KEY : 0;
        ok = av_write_frame(format, packet) >= 0;
    }
    av_packet_free(&packet);
    ok = ok && av_write_trailer(format) >= 0;
    avio_closep(&format->pb);
    avformat_free_context(format);
    return ok;
}

int usage(const char* name) {
    std::fprintf(stderr,
                 "usage: %s wall|offscreen-wall [seconds] [render kind] [player counts...]\n"
                 "       %s one <render kind> [seconds] [width height]\n"
                 "       %s write <file.ts> <seconds>\n",
                 name, name, name);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    av_log_set_level(AV_LOG_ERROR);
    const std::string mode = argc > 1 ? argv[1] : "wall";
    if (mode == "write") {
        if (argc < 4 || std::atoi(argv[3]) <= 0) {
            return usage(argv[0]);
        }
        return writeFile(encode(static_cast<uint32_t>(std::atoi(argv[3])) * 1000), argv[2]) ? 0 : 1;
    }
    const bool offscreen = mode == "offscreen-wall";
    if (mode != "wall" && mode != "one" && !offscreen) {
        return usage(argv[0]);
    }
    const bool one = mode == "one";
    if (one && argc < 3) {
        return usage(argv[0]);
    }
    const int32_t kind = static_cast<int32_t>(
        std::strtol(argc > (one ? 2 : 3) ? argv[one ? 2 : 3] : "0x202", nullptr, 0));
    const int seconds = argc > (one ? 3 : 2) ? std::atoi(argv[one ? 3 : 2]) : 10;
    std::vector<int> counts;
    int width = kTileWidth;
    int height = kTileHeight;
    if (one) {
        counts = {1};
        width = argc > 5 ? std::atoi(argv[4]) : 1280;
        height = argc > 5 ? std::atoi(argv[5]) : 720;
    } else {
        for (int i = 4; i < argc; ++i) {
            counts.push_back(std::atoi(argv[i]));
        }
        if (counts.empty()) {
            counts = {16, 24, 32};
        }
    }
    if (seconds <= 0 || width <= 0 || height <= 0) {
        return usage(argv[0]);
    }
    int most = 1;
    for (int count : counts) {
        most = count > most ? count : most;
    }
    std::unique_ptr<XvfbServer> server;
    const char* display = std::getenv("DISPLAY");
    if (!display || !display[0]) {
        const int columns = most < kColumns ? most : kColumns;
        server.reset(new XvfbServer(columns * width, ((most + kColumns - 1) / kColumns) * height));
        if (!server->started()) {
            std::fprintf(stderr, "Xvfb did not start\n");
            return 1;
        }
    }
    const Script script = encode(kSettleMs + static_cast<uint32_t>(seconds) * 1000 + kTailMs);
    for (int count : counts) {
        std::string report;
        {
            StdoutCapture engineOutput;  // the sound feeder prints a line per block
            report = runWall(script, count, kind, seconds, server ? server->pid() : -1, width,
                             height, offscreen);
        }
        if (report.empty()) {
            std::fprintf(stderr, "no window on %s\n", std::getenv("DISPLAY"));
            return 1;
        }
        std::printf("%s", report.c_str());
        std::fflush(stdout);
    }
    return 0;
}
