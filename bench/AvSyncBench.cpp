// A/V offset of live playback: the time from each flash of the simulated
// camera's picture on screen to its beep in the sound that comes out, over
// 15 s of a 1280x720 25 fps H.264 camera with sound in one of the formats
// below (G.711 8 kHz, AAC 16 kHz mono, AAC 48 kHz stereo, MP3 44.1 kHz stereo;
// all of them, or the one named on the command line) that a scripted
// host feeds live (each sample released at its media time) to a player
// drawing into an offscreen window with its default renderer, with SDL's disk
// driver as the sound card. Everything runs on the real clock; nothing is
// simulated but the camera. How a session starts can set its offset, so the
// program plays sessions one after the other: the process's first, which
// also loads the GL and sound drivers, a second one, as a host that has
// played before meets it, and a third in which the network stalls for three
// seconds and the player then catches up at 1.2 (see playLive). Run it more
// than once.
//
// When a flash is on screen: the window (320x180, so that reading it back
// stays cheap; the renderer scales the picture down) is read every 2 ms. A
// flash appeared between the last read that did not show it and the first
// that did; it is placed at their midpoint, so its error is within half the
// gap between the two reads (printed).
//
// When a beep is heard: the disk driver has no output latency of its own.
// Its thread asks the engine for one period of sound, writes it to the file
// and sleeps for one period, so a period sounds from the moment it is
// written. The file is a FIFO that this program reads on a thread of its
// own, but the driver writes through a stdio stream: the C library gathers
// the writes in its buffer and passes a full buffer on inside the next write
// (probeStdioFlushing checks this on the same library before the run). So
// when a chunk ending at byte B arrives, the period that starts at byte B is
// being written at that moment. These arrivals, one per stdio buffer,
// anchor a piecewise-linear map from byte offset to time, and
// each beep's first loud sample is placed with it. Error: the reader
// thread's wake-up delay at the anchors around the beep and the driver's
// jitter between them, which the anchors' scatter about the line through
// their neighbours shows (printed).
//
// The disk driver is a poor clock: it sleeps one period after each write,
// and every late wake-up (a loaded machine) leaves it further behind real
// time for good, where a sound card keeps its own crystal's time. The engine
// follows the device's pace (its clock is the position the device plays), so
// the pictures fall behind real time with the sound and the offset stays;
// the program prints the driver's lateness beside the offset per second and
// the audio latency also with that lateness taken off: the output latency
// as it would be on a card that kept real time.
//
// The output delay: the engine writes sound ahead and tells its clock that
// each block will be heard as much later as its renderer says it holds ahead
// of it; pictures are shown when that position reaches them. The printed
// latencies say how long the host's samples took to be seen (video) and
// heard (audio), each from the media time at which the host released them;
// the offset is their difference, so any difference between the assumed and
// the real output delay shows up in it directly. The output latency is the audio
// path's own share (not in the catch-up session): from when the player took
// the sample that holds a beep from the host to when the beep was heard, less
// where the beep lies in the sample. On the disk driver, which falls behind
// real time, it also holds what queued up as the device fell behind (at most
// what the player writes ahead of the device). The first picture's time
// is from run() to the first read that showed a picture.
//
// Which beep goes with which flash: the picture number names the second of a
// flash. The sound's content (what the engine wrote, without the runs of
// zeros its output path inserts) starts at media time 0 and beeps once a
// second, so a beep's place in the content names its second.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Common/TimeFunctions.h"
#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayer.h"
#include "simcam/ToneSource.h"
#include "support/OffscreenTestWindow.h"
#include "support/ScriptedHost.h"
#include "support/StdoutCapture.h"
#include "support/TempDir.h"

namespace {

constexpr uint32_t kMediaMs = 16000;  // flashes 0 to 15
constexpr int kWindowWidth = 320;
constexpr int kWindowHeight = 180;
constexpr auto kPollInterval = std::chrono::milliseconds(2);
// How long after the host released the last sample the program keeps watching.
constexpr int64_t kTailNs = 1500 * 1000000LL;

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// How the C library's stdio passes writes on to a FIFO: the size of the
// chunks it flushes, and how many writes after the one that filled its buffer
// the flush happens (1: inside the next write, which no longer fits).
struct StdioFlushing {
    size_t chunkBytes = 0;
    int lagWrites = -1;
};

StdioFlushing probeStdioFlushing(const std::string& fifoPath) {
    StdioFlushing result;
    if (mkfifo(fifoPath.c_str(), 0600) != 0) {
        return result;
    }
    const int reader = open(fifoPath.c_str(), O_RDONLY | O_NONBLOCK);
    FILE* writer = reader >= 0 ? std::fopen(fifoPath.c_str(), "wb") : nullptr;
    if (writer) {
        const std::vector<char> block(512);  // SDL's period of 256 mono samples here
        std::vector<char> sink(1 << 16);
        for (int writes = 1; writes <= 256; ++writes) {
            std::fwrite(block.data(), 1, block.size(), writer);
            const ssize_t got = read(reader, sink.data(), sink.size());
            if (got > 0) {
                result.chunkBytes = static_cast<size_t>(got);
                result.lagWrites = writes - static_cast<int>(result.chunkBytes / block.size());
                break;
            }
        }
        std::fclose(writer);
    }
    if (reader >= 0) {
        close(reader);
    }
    unlink(fifoPath.c_str());
    return result;
}

// The sound card's output: a FIFO that SDL's disk driver writes into and a
// thread that reads it, noting when each chunk arrives.
class SoundTap {
public:
    struct Arrival {
        int64_t ns;
        size_t endByte;  // bytes received up to and including this chunk
        size_t bytes;    // bytes in this chunk
    };

    explicit SoundTap(std::string path) : m_path(std::move(path)) {
        m_made = mkfifo(m_path.c_str(), 0600) == 0;
        if (m_made) {
            m_reader = std::thread(&SoundTap::readAll, this);
        }
    }
    ~SoundTap() { finish(); }

    SoundTap(const SoundTap&) = delete;
    SoundTap& operator=(const SoundTap&) = delete;

    // Whether the FIFO was made and is being read.
    bool ok() const { return m_made; }

    // Waits for the writer to go away (the player's sound device is closed)
    // and the reader to end. A reader still waiting for a writer is let go.
    void finish() {
        while (m_reader.joinable() && !m_done) {
            const int fd = open(m_path.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (m_reader.joinable()) {
            m_reader.join();
        }
    }

    // After finish(): the sound (16-bit PCM as the driver wrote it) and the arrivals.
    const std::vector<uint8_t>& bytes() const { return m_bytes; }
    const std::vector<Arrival>& arrivals() const { return m_arrivals; }

private:
    void readAll() {
        const int fd = open(m_path.c_str(), O_RDONLY);
        std::vector<uint8_t> chunk(1 << 16);
        for (ssize_t got = fd >= 0 ? read(fd, chunk.data(), chunk.size()) : 0; got > 0;
             got = read(fd, chunk.data(), chunk.size())) {
            const int64_t at = nowNs();
            m_bytes.insert(m_bytes.end(), chunk.begin(), chunk.begin() + got);
            m_arrivals.push_back({at, m_bytes.size(), static_cast<size_t>(got)});
        }
        if (fd >= 0) {
            close(fd);
        }
        m_done = true;
    }

    const std::string m_path;
    bool m_made = false;
    std::atomic<bool> m_done{false};
    // Written by the reader thread only, read after it has been joined.
    std::vector<uint8_t> m_bytes;
    std::vector<Arrival> m_arrivals;
    std::thread m_reader;
};

// Maps a byte offset of the sound to the time it was heard: piecewise linear
// between anchors (byte offset, time), extrapolated at the nominal rate
// beyond them.
class SoundTimeline {
public:
    struct Anchor {
        double byte;
        int64_t ns;
    };

    SoundTimeline(std::vector<Anchor> anchors, double bytesPerSecond)
        : m_anchors(std::move(anchors)), m_bytesPerNs(bytesPerSecond / 1e9) {}

    int64_t nsAt(double byte) const {
        const auto next = std::upper_bound(
            m_anchors.begin(), m_anchors.end(), byte,
            [](double value, const Anchor& anchor) { return value < anchor.byte; });
        if (next == m_anchors.begin()) {
            return next->ns - static_cast<int64_t>((next->byte - byte) / m_bytesPerNs);
        }
        const Anchor& before = *(next - 1);
        if (next == m_anchors.end()) {
            return before.ns + static_cast<int64_t>((byte - before.byte) / m_bytesPerNs);
        }
        const double share = (byte - before.byte) / (next->byte - before.byte);
        return before.ns + static_cast<int64_t>(share * static_cast<double>(next->ns - before.ns));
    }

    // How far the driver has fallen behind real time by the time it plays
    // byte, in ms: against a driver that had kept the nominal rate since the
    // first anchor.
    double lateMsAt(double byte) const {
        const Anchor& first = m_anchors.front();
        const double due = static_cast<double>(first.ns) + (byte - first.byte) / m_bytesPerNs;
        return (static_cast<double>(nsAt(byte)) - due) / 1e6;
    }

    // The anchors' scatter about the straight line through their neighbours,
    // in ms: the reader's wake-up delays and the driver's short-term jitter.
    double localJitterMs() const {
        std::vector<double> bends;
        for (size_t i = 1; i + 1 < m_anchors.size(); ++i) {
            const Anchor& a = m_anchors[i - 1];
            const Anchor& b = m_anchors[i];
            const Anchor& c = m_anchors[i + 1];
            const double share = (b.byte - a.byte) / (c.byte - a.byte);
            bends.push_back(static_cast<double>(b.ns - a.ns) -
                            share * static_cast<double>(c.ns - a.ns));
        }
        double squares = 0;
        for (double bend : bends) {
            squares += bend * bend;
        }
        // A bend mixes three independent errors: sqrt(1 + 1/4 + 1/4) of one.
        return bends.empty() ? 0
                             : std::sqrt(squares / static_cast<double>(bends.size()) / 1.5) / 1e6;
    }

private:
    std::vector<Anchor> m_anchors;
    double m_bytesPerNs;
};

struct Stats {
    size_t count = 0;
    double mean = 0;
    double sd = 0;
    double min = 0;
    double max = 0;
};

Stats statsOf(const std::vector<double>& values) {
    Stats s;
    s.count = values.size();
    if (values.empty()) {
        return s;
    }
    s.min = *std::min_element(values.begin(), values.end());
    s.max = *std::max_element(values.begin(), values.end());
    for (double v : values) {
        s.mean += v;
    }
    s.mean /= static_cast<double>(values.size());
    for (double v : values) {
        s.sd += (v - s.mean) * (v - s.mean);
    }
    s.sd = values.size() > 1 ? std::sqrt(s.sd / static_cast<double>(values.size() - 1)) : 0;
    return s;
}

void printStats(const char* name, const std::vector<double>& values) {
    const Stats s = statsOf(values);
    std::printf("%-28s n=%2zu  mean %7.1f ms  sd %5.1f ms  min %7.1f  max %7.1f\n", name, s.count,
                s.mean, s.sd, s.min, s.max);
}

// Slope of values against their keys, in ms per second of media.
double trendPerSecond(const std::vector<int64_t>& seconds, const std::vector<double>& values) {
    const double n = static_cast<double>(values.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = 0; i < values.size(); ++i) {
        const double x = static_cast<double>(seconds[i]);
        sx += x;
        sy += values[i];
        sxx += x * x;
        sxy += x * values[i];
    }
    return n > 1 ? (n * sxy - sx * sy) / (n * sxx - sx * sx) : 0;
}

// Where each beep lies in the sound's content, in samples: its index with the
// runs of exact silence before it left out (the output path writes zeros
// while it has nothing to play, and pads with zeros to catch up), so counted
// from the first sample of content.
std::vector<size_t> contentPositions(const std::vector<int16_t>& samples,
                                     const std::vector<size_t>& beepStarts, int sampleRate) {
    // 10 ms, the output's shortest run of silence: none in the camera's sound.
    const size_t silentRun = static_cast<size_t>(sampleRate / 100);
    std::vector<size_t> positions;
    size_t silent = 0;
    size_t run = 0;
    for (size_t i = 0, next = 0; i < samples.size() && next < beepStarts.size(); ++i) {
        if (samples[i] == 0) {
            ++run;
        } else {
            silent += run >= silentRun ? run : 0;
            run = 0;
        }
        if (i == beepStarts[next]) {
            positions.push_back(i - silent);
            ++next;
        }
    }
    return positions;
}

struct Flash {
    int64_t ns;
    int64_t picture;
    int64_t gapNs;  // between the two reads around it
};

// Reads the screen every kPollInterval until endNs and notes each flash, and
// when the first picture was seen.
std::vector<Flash> watchFlashes(OffscreenTestWindow& screen, int64_t endNs, int64_t* maxGapNs,
                                int64_t* firstPictureNs) {
    std::vector<Flash> flashes;
    int64_t previous = 0;
    bool wasFlash = false;
    *maxGapNs = 0;
    *firstPictureNs = 0;
    while (nowNs() < endNs) {
        const int64_t at = nowNs();
        const OffscreenTestWindow::Pattern shown = screen.pattern();
        if (*firstPictureNs == 0 && shown.number >= 0) {
            *firstPictureNs = at;
        }
        if (shown.flash && !wasFlash && previous != 0) {
            flashes.push_back({previous + (at - previous) / 2, shown.number, at - previous});
        }
        wasFlash = shown.flash;
        if (previous != 0) {
            *maxGapNs = std::max(*maxGapNs, at - previous);
        }
        previous = at;
        std::this_thread::sleep_for(kPollInterval);
    }
    return flashes;
}

// What one live session left behind.
struct Session {
    int64_t hostStartNs = 0;  // when the host released media time 0
    int64_t runNs = 0;        // when run() was called
    int64_t firstPictureNs = 0;
    int64_t stopNs = 0;  // when the player was told to stop
    std::vector<Flash> flashes;
    int64_t widestReadGapNs = 0;
};

// With catchUp, the network stalls from second 3 to 6 of the host's clock
// and then delivers the backlog at once: the player catches up at 1.2 for
// the rest of the session (its host allows 500 ms of delay, so it catches
// up from a lead above 1750 ms until the lead is under 1000 ms).
Session playLive(ScriptedHost& host, OffscreenTestWindow& screen, bool catchUp) {
    Session session;
    host.setMaxDelay(catchUp ? 500 : 0);
    StdoutCapture engineOutput;  // the sound feeder prints a line per block
    CTavoMediaPlayer player;
    player.setHostContext(host.context());
    player.setParam(PARAM_WINDOW, screen.handle());
    // The host's start is a whole millisecond of the monotonic clock; start
    // again until it is known exactly.
    uint32_t startMs = 0;
    do {
        startMs = RIVO_Common_Player::timeMs();
        host.start();
    } while (RIVO_Common_Player::timeMs() != startMs);
    const int64_t now = nowNs();
    session.hostStartNs =
        (now / 1000000 - static_cast<uint32_t>(now / 1000000 - startMs)) * 1000000;
    session.runNs = nowNs();
    player.run();
    std::thread stall([&] {
        if (catchUp) {
            const auto hostTime = [&](int64_t ms) {
                return std::chrono::steady_clock::time_point(
                    std::chrono::nanoseconds(session.hostStartNs + ms * 1000000));
            };
            std::this_thread::sleep_until(hostTime(3000));
            host.setHoldBack(3000);
            std::this_thread::sleep_until(hostTime(6000));
            host.setHoldBack(0);
        }
    });
    session.flashes = watchFlashes(screen, session.hostStartNs + kMediaMs * 1000000LL + kTailNs,
                                   &session.widestReadGapNs, &session.firstPictureNs);
    stall.join();
    session.stopNs = nowNs();
    player.stop();
    return session;
}

// Anchors: whole chunks that arrived while the player was playing (the
// last one comes when the device is closed; a reader that fell behind gets
// more than one chunk at once and cannot tell when they came).
std::vector<SoundTimeline::Anchor> anchorsOf(const SoundTap& tap, size_t chunkBytes, int64_t stopNs,
                                             size_t* irregular) {
    std::vector<SoundTimeline::Anchor> anchors;
    *irregular = 0;
    for (const SoundTap::Arrival& arrival : tap.arrivals()) {
        if (arrival.ns >= stopNs) {
            continue;
        }
        if (arrival.bytes != chunkBytes) {
            ++*irregular;
            continue;
        }
        anchors.push_back({static_cast<double>(arrival.endByte), arrival.ns});
    }
    return anchors;
}

// A sound format of the camera, by the name the command line uses.
struct SoundFormat {
    const char* name;
    simcam::AudioCodec codec;
    int rate;
    int channels;
};

constexpr SoundFormat kFormats[] = {{"g711", simcam::AudioCodec::G711ALaw, 8000, 1},
                                    {"aac16", simcam::AudioCodec::AAC, 16000, 1},
                                    {"aac48", simcam::AudioCodec::AAC, 48000, 2},
                                    {"mp344", simcam::AudioCodec::MP3, 44100, 2}};

simcam::CameraSettings cameraSettings(const SoundFormat& format) {
    simcam::CameraSettings settings;
    settings.videoCodec = simcam::VideoCodec::H264;
    settings.width = 1280;
    settings.height = 720;
    settings.frameRate = 25;
    settings.keyFrameInterval = 25;
    settings.audioCodec = format.codec;
    settings.audioSampleRate = format.rate;
    settings.audioChannels = format.channels;
    return settings;
}

// Plays one live session into a fresh FIFO and prints what it measured;
// false when the sound could not be timed.
bool measureSession(const std::string& fifo, const StdioFlushing& stdio, const SoundFormat& format,
                    bool catchUp) {
    // The disk driver opens its file when the player opens the sound device.
    setenv("SDL_DISKAUDIOFILE", fifo.c_str(), 1);
    const simcam::CameraSettings settings = cameraSettings(format);
    const int sampleRate = format.rate;
    const int channels = format.channels;
    ScriptedHost host;
    host.addCamera(settings, kMediaMs);
    SoundTap tap(fifo);
    if (!tap.ok()) {
        std::fprintf(stderr, "cannot create the FIFO %s\n", fifo.c_str());
        return false;
    }
    OffscreenTestWindow screen(kWindowWidth, kWindowHeight);
    // When the player took each audio sample: the last call that found a
    // sample's index next is the one that took it.
    std::mutex takenLock;
    std::vector<int64_t> takenNs(host.count(TRACK_AUDIO), 0);
    host.setCallHook([&](ScriptedHost::Call call) {
        if (call == ScriptedHost::Call::AudioSample) {
            const size_t next = host.delivered(TRACK_AUDIO);
            std::lock_guard<std::mutex> lock(takenLock);
            if (next < takenNs.size()) {
                takenNs[next] = nowNs();
            }
        }
    });
    const Session session = playLive(host, screen, catchUp);
    host.setCallHook(nullptr);
    tap.finish();

    size_t irregular = 0;
    const std::vector<SoundTimeline::Anchor> anchors =
        anchorsOf(tap, stdio.chunkBytes, session.stopNs, &irregular);
    const double nominalBytesPerSecond = 2.0 * sampleRate * channels;
    if (anchors.size() < 3) {
        std::fprintf(stderr, "too little sound came out (%zu anchors)\n", anchors.size());
        return false;
    }
    const SoundTimeline timeline(anchors, nominalBytesPerSecond);
    const double pace = (anchors.back().byte - anchors.front().byte) * 1e9 /
                        static_cast<double>(anchors.back().ns - anchors.front().ns) /
                        nominalBytesPerSecond;

    // Every channel carries the same sound: the first one is looked at.
    const std::vector<uint8_t>& bytes = tap.bytes();
    std::vector<int16_t> samples(bytes.size() / 2 / channels);
    for (size_t i = 0; i < samples.size(); ++i) {
        std::memcpy(&samples[i], bytes.data() + i * 2 * channels, 2);
    }
    const std::vector<size_t> beepStarts =
        simcam::ToneSource::findBeepStarts(samples.data(), samples.size(), 1, sampleRate);

    // Seconds of media: when each one's flash was seen and its beep heard,
    // and how far the driver had fallen behind real time by then.
    struct Beep {
        int64_t ns;
        double driverLateMs;
    };
    std::map<int64_t, int64_t> seen;
    std::map<int64_t, Beep> heard;
    size_t unnumbered = 0;
    int64_t worstGapNs = 0;
    for (const Flash& flash : session.flashes) {
        if (flash.picture < 0 || flash.picture % settings.frameRate != 0) {
            ++unnumbered;
            continue;
        }
        seen[flash.picture / settings.frameRate] = flash.ns;
        worstGapNs = std::max(worstGapNs, flash.gapNs);
    }
    // The camera beeps once per second of content; content that the output
    // path cut or padded wrongly would have to be off by half a second to
    // name the wrong second. The player plays live sound up to 4 % faster
    // while the driver lags, so a beep's second is counted from the beep
    // before it, where that shortening stays far below half a second. Beeps
    // heard before the host released them, or whose seconds do not rise,
    // are counted.
    size_t misplaced = 0;
    int64_t lastSecond = -1;
    const std::vector<size_t> positions = contentPositions(samples, beepStarts, sampleRate);
    for (size_t i = 0; i < beepStarts.size(); ++i) {
        const double byte = 2.0 * channels * static_cast<double>(beepStarts[i]);
        const int64_t ns = timeline.nsAt(byte);
        int64_t second =
            i == 0 ? std::lround(static_cast<double>(positions[0]) / sampleRate)
                   : lastSecond + std::lround(static_cast<double>(positions[i] - positions[i - 1]) /
                                              sampleRate);
        // Catching up cuts sound, so its place in the content no longer names
        // its second: the nearest flash does (offsets under half a second).
        for (const auto& [flashSecond, flashNs] : seen) {
            if (catchUp && std::llabs(flashNs - ns) < 500000000LL) {
                second = flashSecond;
            }
        }
        if (ns < session.hostStartNs + second * 1000000000LL || second <= lastSecond) {
            ++misplaced;
        }
        heard[second] = {ns, timeline.lateMsAt(byte)};
        lastSecond = second;
    }

    auto releasedNs = [&](int64_t second) { return session.hostStartNs + second * 1000000000LL; };
    std::vector<double> videoLatency;
    std::vector<double> audioLatency;
    std::vector<double> audioLatencyOnTime;
    std::vector<double> outputLatency;
    std::vector<double> offsets;
    std::vector<int64_t> offsetSeconds;
    std::string perSecond;
    for (const auto& [second, seenNs] : seen) {
        videoLatency.push_back(static_cast<double>(seenNs - releasedNs(second)) / 1e6);
        const auto beep = heard.find(second);
        if (beep == heard.end()) {
            perSecond += " " + std::to_string(second) + ":-";
            continue;
        }
        const double offset = static_cast<double>(beep->second.ns - seenNs) / 1e6;
        offsets.push_back(offset);
        offsetSeconds.push_back(second);
        perSecond += " " + std::to_string(second) + ":" + std::to_string(std::lround(offset)) +
                     "/" + std::to_string(std::lround(beep->second.driverLateMs));
    }
    for (const auto& [second, beep] : heard) {
        const double latency = static_cast<double>(beep.ns - releasedNs(second)) / 1e6;
        audioLatency.push_back(latency);
        audioLatencyOnTime.push_back(latency - beep.driverLateMs);
        // From when the player took the sample that holds the beep to when
        // the beep was heard, less where the beep lies in the sample.
        const uint32_t beepTime =
            host.timeOf(TRACK_AUDIO, 0) + static_cast<uint32_t>(second) * 1000;
        size_t index = 0;
        while (index + 1 < takenNs.size() && host.timeOf(TRACK_AUDIO, index + 1) <= beepTime) {
            ++index;
        }
        if (!catchUp && takenNs[index] != 0) {
            outputLatency.push_back(static_cast<double>(beep.ns - takenNs[index]) / 1e6 -
                                    (beepTime - host.timeOf(TRACK_AUDIO, index)));
        }
    }

    std::printf("camera: %dx%d %d fps H.264 + %s %d Hz, %d channel(s), %u ms live; window %dx%d\n",
                settings.width, settings.height, settings.frameRate, format.name, sampleRate,
                channels, kMediaMs, kWindowWidth, kWindowHeight);
    std::printf("screen reads: every %lld ms asked, widest gap %.1f ms (around a flash %.1f ms)\n",
                static_cast<long long>(kPollInterval.count()), session.widestReadGapNs / 1e6,
                worstGapNs / 1e6);
    std::printf(
        "sound: %zu bytes, %zu anchors (%zu irregular arrivals left out), local anchor jitter "
        "%.2f ms;\n       disk driver pace %.4f x real time, %.0f ms behind it at the end\n",
        bytes.size(), anchors.size(), irregular, timeline.localJitterMs(), pace,
        timeline.lateMsAt(anchors.back().byte));
    std::printf("flashes seen %zu (%zu without a flash number), beeps heard %zu (%zu misplaced)\n",
                session.flashes.size(), unnumbered, beepStarts.size(), misplaced);
    printStats("video latency (seen)", videoLatency);
    printStats("audio latency (heard)", audioLatency);
    printStats("  less the driver's lateness", audioLatencyOnTime);
    printStats("output latency (taken-heard)", outputLatency);
    printStats("A/V offset (beep - flash)", offsets);
    std::printf("A/V offset trend: %+.2f ms per second of media\n",
                trendPerSecond(offsetSeconds, offsets));
    std::printf("per second (offset/driver lateness, ms, + = sound late):%s\n", perSecond.c_str());
    std::printf("first picture: %.1f ms after run()\n",
                session.firstPictureNs ? (session.firstPictureNs - session.runNs) / 1e6 : -1.0);
    const Stats offset = statsOf(offsets);
    std::printf("goal |mean| <= 20 ms: %s, sd <= 10 ms: %s\n",
                std::fabs(offset.mean) <= 20 ? "met" : "NOT met",
                offset.sd <= 10 ? "met" : "NOT met");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::printf("load average at start: %s\n", loadAverage().c_str());
    TempDir dir;
    const StdioFlushing stdio = probeStdioFlushing(dir.file("probe.fifo"));
    std::printf("stdio into a FIFO: chunks of %zu bytes, flushed %d write(s) after filling\n",
                stdio.chunkBytes, stdio.lagWrites);
    if (stdio.lagWrites != 1) {
        std::fprintf(stderr, "stdio flushes differently than assumed: cannot time the sound\n");
        return 1;
    }
    setenv("SDL_AUDIODRIVER", "disk", 1);
    // Without a delay of its own the driver sleeps one period per write: real time.
    unsetenv("SDL_DISKAUDIODELAY");

    int session = 0;
    for (const SoundFormat& format : kFormats) {
        if (argc > 1 && std::strcmp(argv[1], format.name) != 0) {
            continue;
        }
        for (const char* which : {"first", "second", "catch-up (third)"}) {
            std::printf("\n== %s, %s session of this format (session %d of the process) ==\n",
                        format.name, which, session + 1);
            if (!measureSession(dir.file("sound" + std::to_string(session) + ".fifo"), stdio,
                                format, which[0] == 'c')) {
                return 1;
            }
            ++session;
        }
    }
    if (session == 0) {
        std::fprintf(stderr, "usage: %s [g711|aac16|aac48|mp344]\n", argv[0]);
        return 2;
    }
    std::printf("\nload average at end: %s\n", loadAverage().c_str());
    return 0;
}
