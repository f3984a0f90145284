// What idle players cost: N players (1 and 16 by default) each running with
// a window set and a host that has no samples (a camera that is off or not
// yet connected), on the real clock. The loops poll such a host less often
// the longer it has had nothing (and close the sound device after 10 s), so
// two stretches are measured: from 2 s to 10 s into the gap ("gap 2-10 s"),
// and then, from 13 s on, the given number of seconds ("gap > 13 s", the
// steady cost of an idle player). For each,
// the processor time of the whole process (CLOCK_PROCESS_CPUTIME_ID, all
// threads) while this thread sleeps is printed as % of a core per player,
// beside the voluntary context switches per player and second (each one a
// wake-up of a loop).
//
// Two kinds of idle host: one that never had samples (a camera not
// connected yet), and one whose camera sent 2 s of 480x270 H.264 and AAC
// and then stopped (the gap counts from the stream's end): that player has
// had its renderer and its sound device open (SDL's dummy driver).
//
// The windows are offscreen; with DISPLAY set, the same runs follow with
// mapped X11 windows on that display.
//
// Usage: IdleBench [seconds of the steady stretch, default 20] [player counts..., default 1 16]

#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayer.h"
#include "simcam/CameraSettings.h"
#include "support/OffscreenTestWindow.h"
#include "support/ProcessCpu.h"
#include "support/ScriptedHost.h"
#include "support/StdoutCapture.h"
#include "support/X11TestWindow.h"

namespace {

constexpr auto kFirstStart = std::chrono::seconds(2);
constexpr int kFirstSeconds = 8;
constexpr auto kSteadyStart = std::chrono::seconds(3);
constexpr int kWindowWidth = 480;
constexpr int kWindowHeight = 270;
constexpr uint32_t kStreamMs = 2000;

simcam::CameraSettings camera() {
    simcam::CameraSettings settings;
    settings.width = kWindowWidth;
    settings.height = kWindowHeight;
    settings.audioCodec = simcam::AudioCodec::AAC;
    settings.audioSampleRate = 48000;
    return settings;
}

// Voluntary context switches of all the process's threads so far.
long voluntarySwitches() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw;
}

// One idle player: a host without samples, its window, the player running.
struct IdlePlayer {
    ScriptedHost host;
    std::unique_ptr<OffscreenTestWindow> offscreen;
    std::unique_ptr<X11TestWindow> x11;
    CTavoMediaPlayer player;
};

// Sleeps seconds and tells what the process took meanwhile.
std::string measureStretch(const char* what, const char* host, int count, bool x11Windows,
                           int seconds) {
    const double cpuStart = processCpuMs();
    const long switchesStart = voluntarySwitches();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const double cpuMs = processCpuMs() - cpuStart;
    const long switches = voluntarySwitches() - switchesStart;
    char line[256];
    std::snprintf(line, sizeof(line),
                  "%-9s %-7s players %2d, %s: %.4f %% of a core per player (%.4f %% in all), "
                  "%.1f wakeups per player and second",
                  x11Windows ? "x11" : "offscreen", host, count, what,
                  100.0 * cpuMs / wallMs / count, 100.0 * cpuMs / wallMs,
                  switches * 1000.0 / wallMs / count);
    return line;
}

// Runs count idle players and adds a line for each stretch to *lines.
// False when a window could not be made.
bool runIdlePlayers(int count, bool x11Windows, bool afterStream, int seconds,
                    std::vector<std::string>* lines) {
    std::vector<std::unique_ptr<IdlePlayer>> players;
    for (int i = 0; i < count; ++i) {
        std::unique_ptr<IdlePlayer> idle(new IdlePlayer);
        HWND window = nullptr;
        if (x11Windows) {
            idle->x11.reset(new X11TestWindow(kWindowWidth, kWindowHeight));
            if (!idle->x11->valid()) {
                return false;
            }
            window = idle->x11->handle();
        } else {
            idle->offscreen.reset(new OffscreenTestWindow(kWindowWidth, kWindowHeight));
            window = idle->offscreen->handle();
        }
        if (afterStream) {
            idle->host.addCamera(camera(), kStreamMs);
        }
        idle->player.setHostContext(idle->host.context());
        idle->player.setParam(PARAM_WINDOW, window);
        idle->host.start();
        idle->player.run();
        players.push_back(std::move(idle));
    }
    const char* host = afterStream ? "stopped" : "never";
    if (afterStream) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kStreamMs));
    }
    std::this_thread::sleep_for(kFirstStart);
    lines->push_back(measureStretch("gap 2-10 s", host, count, x11Windows, kFirstSeconds));
    std::this_thread::sleep_for(kSteadyStart);
    lines->push_back(measureStretch("gap > 13 s", host, count, x11Windows, seconds));
    for (std::unique_ptr<IdlePlayer>& idle : players) {
        idle->player.stop();
    }
    return true;
}

// Runs count idle players and prints both stretches. False when a window
// could not be made.
bool measure(int count, bool x11Windows, bool afterStream, int seconds) {
    std::vector<std::string> lines;
    {
        // The sound feeder prints a line per block.
        StdoutCapture engineOutput;
        if (!runIdlePlayers(count, x11Windows, afterStream, seconds, &lines)) {
            return false;
        }
    }
    for (const std::string& line : lines) {
        std::printf("%s\n", line.c_str());
    }
    std::fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
    std::vector<int> counts;
    for (int i = 2; i < argc; ++i) {
        counts.push_back(std::atoi(argv[i]));
    }
    if (counts.empty()) {
        counts = {1, 16};
    }
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: %s [seconds > 0] [player counts...]\n", argv[0]);
        return 2;
    }
    const char* display = std::getenv("DISPLAY");
    const bool withX11 = display && display[0];
    for (const bool x11 : {false, true}) {
        if (x11 && !withX11) {
            std::printf("x11: DISPLAY is not set, skipped\n");
            continue;
        }
        for (const bool afterStream : {false, true}) {
            for (const int count : counts) {
                if (!measure(count, x11, afterStream, seconds)) {
                    std::printf("x11: no window on %s\n", display);
                    return 1;
                }
            }
        }
    }
    return 0;
}
