// Soak of live play on the real clock: one player, driven through the public
// interface, shows the simulated camera (1280x720 25 fps H.264, a key frame
// every second, AAC 8000 Hz mono; sound to SDL's dummy driver) in a 640x360
// offscreen window for the seconds given (default 3600). Every minute the
// host records for 18 s, pauses live play for 4 s, replays the stored minute
// with two seeks and a replay pause, goes back to live and changes the
// renderer (0x204, 0x203, 0x202 in turn: stop, run); a snapshot is taken
// every 10 s. Files are deleted once checked.
//
// A line per minute (and one at the start) gives the process's resident
// memory, threads and open descriptors and what was done in that minute;
// the summary compares minute 3 with the last. The run ends with exit code 1
// and a line saying why when no new picture comes for 10 s, a snapshot or
// recording file is missing or empty, a seek does not land, or a command
// fails.
//
// The camera's stream is 12.8 s encoded once and handed out again and again
// with its times running on, the host forgetting what it has handed out, so
// that the bench's own memory stays flat. The engine's log goes to /dev/null
// unless TAVOPLAYER_LOG names a file.
//
// Usage: SoakBench [seconds]

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "simcam/SimulatedCamera.h"
#include "support/CameraCapture.h"
#include "support/OffscreenTestWindow.h"
#include "support/QuietLibavLog.h"
#include "support/ScriptedHost.h"
#include "support/StdoutCapture.h"
#include "support/TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;

// A whole number of 40 ms pictures and of 128 ms AAC frames.
constexpr uint32_t kLoopMs = 12800;
constexpr int kLoopPictures = 320;
constexpr int kLoopAudioFrames = 100;
constexpr uint32_t kFirstTimeMs = 10000;
constexpr auto kStall = std::chrono::seconds(10);
constexpr int kBaselineMinute = 3;
const int32_t kRenderKinds[] = {RENDER_KIND_D3D_SHADER, RENDER_KIND_D3D, RENDER_KIND_DDRAW};

std::FILE* g_report = stdout;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(g_report, "SOAK FAILED: %s\n", what.c_str());
    std::fprintf(stderr, "SOAK FAILED: %s\n", what.c_str());
    std::fflush(g_report);
    std::_Exit(1);
}

void check(int32_t result, const std::string& command) {
    if (result != PLAYER_S_OK) {
        char code[16];
        std::snprintf(code, sizeof(code), "0x%08x", static_cast<unsigned>(result));
        fail(command + " returned " + code);
    }
}

struct Usage {
    int second;
    double rssMiB;
    int threads;
    int fds;
};

int entries(const char* directory) {
    int count = 0;
    if (DIR* dir = opendir(directory)) {
        while (dirent* entry = readdir(dir)) {
            count += entry->d_name[0] != '.';
        }
        closedir(dir);
    }
    return count;
}

Usage usage(int second) {
    std::ifstream status("/proc/self/status");
    std::string key;
    double kiB = 0;
    while (status >> key && key != "VmRSS:") {
        status.ignore(1 << 10, '\n');
    }
    status >> kiB;
    return Usage{second, kiB / 1024, entries("/proc/self/task"), entries("/proc/self/fd")};
}

// The encoded loop and the descriptions sent before it.
struct CameraLoop {
    std::vector<simcam::EncodedUnit> video;
    std::vector<simcam::EncodedUnit> audio;
    StreamInfo videoInfo;
    StreamInfo audioInfo;
};

CameraLoop encodeLoop() {
    simcam::CameraSettings settings;
    settings.audioCodec = simcam::AudioCodec::AAC;
    settings.audioSampleRate = 8000;
    const simcam::SimulatedCamera camera(settings);
    return CameraLoop{captureVideo(settings, kLoopPictures),
                      captureAudio(settings, kLoopAudioFrames), camera.videoStreamInfo(),
                      camera.audioStreamInfo()};
}

// What the host does to the player, second by second, and what it checks.
class Soak {
public:
    Soak(ITavoMediaPlayer* player, ScriptedHost& host, const CameraLoop& loop, const TempDir& dir)
        : m_player(player), m_host(host), m_loop(loop), m_dir(dir) {}

    void set(int32_t id, int32_t value, const char* name) {
        check(m_player->setParam(id, &value), std::string("setParam(") + name + ")");
    }

    // Hands the host the loop's samples due up to dueMs after start(), again
    // and again with times running on; a camera's stream starts with its
    // descriptions.
    void feed(uint32_t dueMs) {
        if (m_sent[0] == 0 && m_sent[1] == 0) {
            describe(0);
        }
        for (const int32_t track : {TRACK_VIDEO, TRACK_AUDIO}) {
            const std::vector<simcam::EncodedUnit>& units =
                track == TRACK_VIDEO ? m_loop.video : m_loop.audio;
            uint32_t& sent = m_sent[track == TRACK_VIDEO];
            for (;; ++sent) {
                const simcam::EncodedUnit& unit = units[sent % units.size()];
                const uint32_t due = sent / units.size() * kLoopMs + unit.timeMs;
                if (due > dueMs) {
                    break;
                }
                m_host.addItem(
                    track, ScriptedHost::Item{due, kFirstTimeMs + due,
                                              unit.keyFrame ? MEDIA_FLAG_KEYFRAME : 0u, unit.data});
            }
        }
    }

    // Reads the events since the last call and lets the host forget its past.
    void collectEvents() {
        for (const auto& event : m_host.events()) {
            if (event.first == PLAYER_EVENT_RECORDING) {
                if (event.second.rfind("failed", 0) == 0) {
                    fail("recording " + event.second);
                }
                m_recordingStarted |= event.second == "started " + m_recording;
                m_recordingStopped |= event.second == "stopped " + m_recording;
            } else if (event.first == PLAYER_EVENT_REPLAY_POSITION) {
                const int position = std::atoi(event.second.c_str());
                m_seekLanded |= position + 1 >= m_seekTarget && position <= m_seekTarget + 1;
            }
        }
        m_host.forgetPast();
    }

    void act(int second, uint32_t elapsedMs) {
        if (second % 10 == 5) {
            snapshot(m_dir.file("snapshot.jpg"));
        }
        switch (second) {
            case 2:
                set(PARAM_RECORD, 1, "PARAM_RECORD 1");
                m_recording = m_dir.file("clip" + std::to_string(++m_recordingsStarted) + ".mp4");
                m_recordingStarted = m_recordingStopped = false;
                check(m_player->setParam(PARAM_RECORD_FILE, &m_recording[0]),
                      "setParam(PARAM_RECORD_FILE)");
                break;
            case 20:
                set(PARAM_RECORD, 0, "PARAM_RECORD 0");
                collectEvents();
                if (!m_recordingStarted || !m_recordingStopped) {
                    fail("no started and stopped events for " + m_recording);
                }
                expectFile(m_recording);
                ++counts.recordings;
                break;
            case 22:
                check(m_player->pause(), "pause()");
                break;
            case 26:
                check(m_player->resume(), "resume()");
                break;
            case 30:
                set(PARAM_STORE_PLAYBACK, 1, "PARAM_STORE_PLAYBACK 1");
                check(m_player->getParam(PARAM_STORE_DURATION, &m_duration),
                      "getParam(PARAM_STORE_DURATION)");
                break;
            case 34:
                seek(m_duration / 2);
                break;
            case 40:
                expectSeekLanded();
                seek(m_duration / 4);
                break;
            case 44:
                expectSeekLanded();
                set(PARAM_STORE_PAUSE, 1, "PARAM_STORE_PAUSE 1");
                break;
            case 46:
                set(PARAM_STORE_PAUSE, 0, "PARAM_STORE_PAUSE 0");
                break;
            case 50:
                set(PARAM_STORE_PLAYBACK, 0, "PARAM_STORE_PLAYBACK 0");
                break;
            case 57:
                m_renderKind = (m_renderKind + 1) % 3;
                set(PARAM_RENDER_KIND, kRenderKinds[m_renderKind], "PARAM_RENDER_KIND");
                check(m_player->stop(), "stop()");
                // The loops start afresh, without decoders: the host describes
                // its streams again (after the samples already queued), as it
                // does whenever it (re)starts one.
                describe(elapsedMs);
                check(m_player->run(), "run()");
                ++counts.renderChanges;
                break;
            default:
                break;
        }
    }

    int32_t renderKind() const { return kRenderKinds[m_renderKind]; }

    // Done since the last minute line.
    struct Counts {
        int pictures = 0;
        int snapshots = 0;
        int recordings = 0;
        int seeks = 0;
        int renderChanges = 0;
    };
    Counts counts;

private:
    void describe(uint32_t dueMs) {
        for (const int32_t track : {TRACK_VIDEO, TRACK_AUDIO}) {
            ScriptedHost::Item description{
                dueMs, kFirstTimeMs + dueMs, MEDIA_FLAG_DESCRIPTION, {}, false, true};
            description.info = track == TRACK_VIDEO ? m_loop.videoInfo : m_loop.audioInfo;
            m_host.addItem(track, description);
        }
    }

    void snapshot(const std::string& path) {
        check(m_player->getParam(PARAM_SNAPSHOT, const_cast<char*>(path.c_str())),
              "getParam(PARAM_SNAPSHOT)");
        expectFile(path);
        ++counts.snapshots;
    }

    static void expectFile(const std::string& path) {
        std::error_code error;
        const uintmax_t size = std::filesystem::file_size(path, error);
        if (error || size == 0) {
            fail(path + (error ? " was not written" : " is empty"));
        }
        std::filesystem::remove(path);
    }

    void seek(uint32_t seconds) {
        set(PARAM_STORE_SEEK, static_cast<int32_t>(seconds), "PARAM_STORE_SEEK");
        m_seekTarget = static_cast<int>(seconds);
        m_seekLanded = false;
        ++counts.seeks;
    }

    void expectSeekLanded() const {
        if (!m_seekLanded) {
            fail("the replay did not report a position at second " + std::to_string(m_seekTarget) +
                 " after a seek there");
        }
    }

    ITavoMediaPlayer* m_player;
    ScriptedHost& m_host;
    const CameraLoop& m_loop;
    const TempDir& m_dir;
    uint32_t m_sent[2] = {0, 0};  // samples handed to the host: audio, video
    std::string m_recording;
    int m_recordingsStarted = 0;
    bool m_recordingStarted = false;
    bool m_recordingStopped = false;
    uint32_t m_duration = 0;
    int m_seekTarget = -2;
    bool m_seekLanded = false;
    int m_renderKind = 0;
};

void printMinute(const Usage& now, const Soak::Counts& counts, int32_t renderKind) {
    std::fprintf(g_report,
                 "minute %5.1f  rss %7.1f MiB  threads %3d  fds %3d  pictures %5d  snapshots %d  "
                 "recordings %d  seeks %d  renderer changes %d (now 0x%x)\n",
                 now.second / 60.0, now.rssMiB, now.threads, now.fds, counts.pictures,
                 counts.snapshots, counts.recordings, counts.seeks, counts.renderChanges,
                 renderKind);
    std::fflush(g_report);
}

// Minute kBaselineMinute (in a shorter run the one before the last) against
// the last, and the highest figures from the baseline on.
void printSummary(const std::vector<Usage>& minutes) {
    const size_t before = minutes.size() > 1 ? minutes.size() - 2 : 0;
    const Usage& base = minutes[std::min<size_t>(kBaselineMinute, before)];
    const Usage& last = minutes.back();
    Usage high = base;
    for (const Usage& u : minutes) {
        if (u.second >= base.second) {
            high = Usage{u.second, std::max(high.rssMiB, u.rssMiB),
                         std::max(high.threads, u.threads), std::max(high.fds, u.fds)};
        }
    }
    std::fprintf(
        g_report,
        "summary: minute %.1f -> %.1f: rss %.1f -> %.1f MiB (%+.1f, highest %.1f), threads "
        "%d -> %d (%+d, highest %d), fds %d -> %d (%+d, highest %d)\n",
        base.second / 60.0, last.second / 60.0, base.rssMiB, last.rssMiB, last.rssMiB - base.rssMiB,
        high.rssMiB, base.threads, last.threads, last.threads - base.threads, high.threads,
        base.fds, last.fds, last.fds - base.fds, high.fds);
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 3600;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: %s [seconds]\n", argv[0]);
        return 2;
    }
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("TAVOPLAYER_LOG", "/dev/null", 0);
    const QuietLibavLog quiet;
    g_report = fdopen(dup(STDOUT_FILENO), "w");
    const StdoutCapture engineOutput;  // the sound output prints a line per block
    const TempDir dir;

    const CameraLoop loop = encodeLoop();
    ScriptedHost host;
    OffscreenTestWindow screen(640, 360);
    ITavoMediaPlayer* player = nullptr;
    if (loop.video.size() != kLoopPictures || loop.audio.size() != kLoopAudioFrames ||
        !createMediaPlayerInstance(host.context(), &player)) {
        fail("the camera or the player could not be made");
    }
    Soak soak(player, host, loop, dir);
    soak.set(PARAM_FRAME_STORE, 1, "PARAM_FRAME_STORE");
    check(player->setParam(PARAM_WINDOW, screen.handle()), "setParam(PARAM_WINDOW)");
    soak.set(PARAM_RENDER_KIND, soak.renderKind(), "PARAM_RENDER_KIND");

    std::vector<Usage> minutes;
    int64_t shown = -1;
    int second = -1;
    const Clock::time_point start = Clock::now();
    Clock::time_point lastNewPicture = start;
    host.start();
    check(player->run(), "run()");
    for (Clock::time_point tick = start;; tick += std::chrono::milliseconds(100)) {
        std::this_thread::sleep_until(tick);
        const Clock::time_point now = Clock::now();
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - start);
        soak.feed(static_cast<uint32_t>(elapsed.count()) + 200);
        // Pictures shown: how far the number on screen moved on since the last
        // look (a jump, such as a seek, counts one).
        const int64_t number = screen.pattern().number;
        if (number >= 0 && number != shown) {
            const int64_t ahead = (number - shown + kLoopPictures) % kLoopPictures;
            soak.counts.pictures += shown >= 0 && ahead <= 50 ? static_cast<int>(ahead) : 1;
            shown = number;
            lastNewPicture = now;
        } else if (now - lastNewPicture > kStall) {
            fail("no new picture for 10 s at second " + std::to_string(elapsed.count() / 1000) +
                 " (picture " + std::to_string(shown) + " on screen)");
        }
        while (second < elapsed.count() / 1000 && second < seconds) {
            ++second;
            soak.collectEvents();
            if (second % 60 == 0 || second == seconds) {
                minutes.push_back(usage(second));
                printMinute(minutes.back(), soak.counts, soak.renderKind());
                soak.counts = Soak::Counts{};
            }
            if (second < seconds) {
                soak.act(second % 60, static_cast<uint32_t>(elapsed.count()));
            }
        }
        if (second == seconds) {
            break;
        }
    }
    printSummary(minutes);
    destroyMediaPlayerInstance(&player);
    return 0;
}
