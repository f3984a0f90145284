// tavoplay: a host program for the player engine, the way a camera viewer
// drives it. It plays the simulated camera (or a file) in a window with
// keyboard control, or headless with an offscreen window and a script.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <tavoplayer/ITavoMediaPlayer.h>
#include <tavoplayer/TavoOffscreenWindow.h>

extern "C" {
#include <libavutil/log.h>
}

#include "AudioDeviceCheck.h"
#include "Console.h"
#include "FileSource.h"
#include "HostWindow.h"
#include "LiveQueue.h"
#include "Options.h"
#include "PlayerControl.h"
#include "Script.h"
#include "Session.h"
#include "SimulatedCameraSource.h"

namespace {

// The largest window opened at start; bigger pictures are scaled down into it.
constexpr int kMaxWindowWidth = 1280;
constexpr int kMaxWindowHeight = 720;
// Headless size when there is no video.
constexpr int kAudioOnlyWidth = 640;
constexpr int kAudioOnlyHeight = 360;
// A headless run of the camera without --duration.
constexpr double kHeadlessCameraSeconds = 10;

std::atomic<bool> g_stopRequested(false);

void onStopSignal(int) {
    g_stopRequested = true;
}

int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool hasDisplay() {
    const char* display = std::getenv("DISPLAY");
    return display && *display;
}

// Where tavoplay writes. The engine's sound output prints a line for every
// block on standard output, which would bury the status line; unless verbose,
// standard output goes to /dev/null and tavoplay writes to a copy of it.
FILE* consoleStream(bool verbose) {
    if (verbose) {
        return stdout;
    }
    std::fflush(stdout);
    const int copy = dup(STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    FILE* stream = copy >= 0 ? fdopen(copy, "w") : nullptr;
    if (!stream || null < 0 || dup2(null, STDOUT_FILENO) < 0) {
        if (stream) {
            std::fclose(stream);
        } else if (copy >= 0) {
            close(copy);
        }
        if (null >= 0) {
            close(null);
        }
        return stdout;
    }
    close(null);
    return stream;
}

std::unique_ptr<IMediaSource> openSource(const Options& options, Console* console) {
    if (options.file.empty()) {
        std::unique_ptr<SimulatedCameraSource> camera(new SimulatedCameraSource(options.camera));
        if (!camera->isOpen()) {
            std::fprintf(stderr, "tavoplay: the simulated camera failed: %s\n",
                         camera->error().c_str());
            return nullptr;
        }
        return camera;
    }
    std::unique_ptr<FileSource> file(new FileSource());
    if (!file->open(options.file)) {
        std::fprintf(stderr, "tavoplay: %s\n", file->error().c_str());
        return nullptr;
    }
    for (const std::string& note : file->notes()) {
        console->message("note: " + note);
    }
    return file;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!options.parse(argc, argv, &error)) {
        std::fprintf(stderr, "tavoplay: %s\n\n%s", error.c_str(), Options::usage());
        return 2;
    }
    if (options.help) {
        std::fputs(Options::usage(), stdout);
        return 0;
    }
    // libav's own reports (a probe's complaints, say) only with --verbose.
    if (!options.verbose) {
        av_log_set_level(AV_LOG_FATAL);
    }
    const bool terminal = isatty(STDOUT_FILENO) == 1;
    Console console(consoleStream(options.verbose), terminal);

    std::unique_ptr<IMediaSource> source = openSource(options, &console);
    if (!source) {
        return 1;
    }
    console.message("playing " + source->describe());
    const AudioDeviceCheck audioDevice;
    console.message(audioDevice.description());
    if (mkdir(options.outDir.c_str(), 0777) == 0) {
        console.message("made the directory " + options.outDir);
    }

    const StreamInfo video = source->videoStreamInfo();
    const bool hasVideo = video.codecType != CODEC_NONE;
    const int width = hasVideo ? static_cast<int>(video.rateOrWidth) : kAudioOnlyWidth;
    const int height = hasVideo ? static_cast<int>(video.formatOrHeight) : kAudioOnlyHeight;

    bool headless = options.headless;
    if (!headless && !hasDisplay()) {
        console.message("no display: running headless");
        headless = true;
    }
    HostWindow window;
    if (!headless) {
        const double scale = std::min({1.0, static_cast<double>(kMaxWindowWidth) / width,
                                       static_cast<double>(kMaxWindowHeight) / height});
        if (!window.open(static_cast<int>(width * scale), static_cast<int>(height * scale),
                         &error)) {
            console.message("no window (" + error + "): running headless");
            headless = true;
        }
    }
    // Outlives the player, which draws into it.
    std::unique_ptr<void, void (*)(void*)> offscreen(nullptr, tavoDestroyOffscreenWindow);
    if (headless) {
        offscreen.reset(tavoCreateOffscreenWindow(width, height));
        if (!offscreen) {
            std::fprintf(stderr, "tavoplay: cannot create an offscreen window of %dx%d\n", width,
                         height);
            return 1;
        }
    }

    const bool live = options.file.empty() || options.live;
    if (options.holdBackMs > 0) {
        console.message(live ? "holding every sample back for " +
                                   std::to_string(options.holdBackMs) +
                                   " ms; the player then catches up"
                             : "--delay applies to live pacing (the camera, or --live)");
    }
    LiveQueue queue(source.get(), live ? LiveQueue::Pacing::Live : LiveQueue::Pacing::Playback,
                    options.holdBackMs, steadyMs);
    PlayerControl player(&console);
    PlayerControl::Settings playerSettings;
    playerSettings.window = headless ? offscreen.get() : window.handle();
    playerSettings.playMode = live ? PLAY_MODE_LIVE : PLAY_MODE_PLAYBACK;
    playerSettings.renderKind = options.renderKind;
    if (!player.create(queue.functions(), queue.context(), playerSettings, &error)) {
        std::fprintf(stderr, "tavoplay: %s\n", error.c_str());
        return 1;
    }
    console.message(std::string("renderer: ") + PlayerControl::renderKindName(options.renderKind));
    if (!headless) {
        console.message(HostWindow::keyHelp());
    }

    signal(SIGINT, onStopSignal);
    signal(SIGTERM, onStopSignal);
    Session::Settings sessionSettings;
    sessionSettings.durationSeconds = options.durationSeconds;
    if (headless && options.file.empty() && options.durationSeconds < 0) {
        sessionSettings.durationSeconds = kHeadlessCameraSeconds;
    }
    sessionSettings.outDir = options.outDir;
    sessionSettings.hasVideo = hasVideo;
    sessionSettings.live = live;
    sessionSettings.endWithSource = headless && !options.file.empty();
    Session session(sessionSettings, Script(options), &console, &player, &queue,
                    headless ? nullptr : &window);

    queue.startFeeding();
    player.run();
    const int status = session.run(g_stopRequested);
    player.stop();
    queue.stopFeeding();
    return status;
}
