// tavoplay: a host program for the player engine, the way a camera viewer
// drives it. It plays the simulated camera, a file or a network stream (or a
// grid of them) in a window with keyboard control, or headless with offscreen
// windows and a script.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <tavoplayer/ITavoMediaPlayer.h>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include "AudioDeviceCheck.h"
#include "Console.h"
#include "GridView.h"
#include "HostWindow.h"
#include "Options.h"
#include "PlayerControl.h"
#include "Script.h"
#include "Session.h"
#include "Tile.h"

namespace {

// The largest window opened at start; bigger pictures are scaled down into it.
constexpr int kMaxWindowWidth = 1280;
constexpr int kMaxWindowHeight = 720;
// A headless run of the camera without --duration.
constexpr double kHeadlessCameraSeconds = 10;

std::atomic<bool> g_stopRequested(false);

void onStopSignal(int) {
    g_stopRequested = true;
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

    std::vector<std::string> sources = options.sources;
    const bool grid = options.gridColumns > 0;
    if (sources.empty()) {
        sources.assign(grid ? static_cast<size_t>(options.gridColumns * options.gridRows) : 1,
                       Options::kSimulatedCamera);
    }
    avformat_network_init();
    std::vector<std::unique_ptr<Tile>> tiles;
    for (size_t i = 0; i < sources.size(); ++i) {
        tiles.emplace_back(new Tile(&console, grid ? static_cast<int>(i) + 1 : 0));
        if (!tiles.back()->open(options, sources[i], &error)) {
            std::fprintf(stderr, "tavoplay: %s%s\n", tiles.back()->prefix().c_str(), error.c_str());
            return 1;
        }
        console.message(tiles.back()->prefix() + "playing " + tiles.back()->describe());
    }
    const AudioDeviceCheck audioDevice;
    console.message(audioDevice.description());
    if (mkdir(options.outDir.c_str(), 0777) == 0) {
        console.message("made the directory " + options.outDir);
    }

    bool headless = options.headless;
    if (!headless && !hasDisplay()) {
        console.message("no display: running headless");
        headless = true;
    }
    const int columns = grid ? options.gridColumns : 1;
    const int rows = grid ? options.gridRows : 1;
    GridView view(columns, rows, static_cast<int>(tiles.size()));
    HostWindow window;
    if (!headless) {
        // Room for every tile at the first one's size, scaled down to fit.
        const int width = tiles[0]->width() * columns;
        const int height = tiles[0]->height() * rows;
        const double scale = std::min({1.0, static_cast<double>(kMaxWindowWidth) / width,
                                       static_cast<double>(kMaxWindowHeight) / height});
        if (!window.open(static_cast<int>(width * scale), static_cast<int>(height * scale),
                         &error)) {
            console.message("no window (" + error + "): running headless");
            headless = true;
        }
    }
    if (options.holdBackMs > 0) {
        console.message(tiles[0]->live()
                            ? "holding every sample back for " +
                                  std::to_string(options.holdBackMs) +
                                  " ms; the player then catches up"
                            : "--delay applies to live pacing (the camera, or --live)");
    }
    std::vector<Tile*> started;
    for (const std::unique_ptr<Tile>& tile : tiles) {
        if (!tile->start(options, headless ? nullptr : window.addTile(), &error)) {
            std::fprintf(stderr, "tavoplay: %s%s\n", tile->prefix().c_str(), error.c_str());
            return 1;
        }
        started.push_back(tile.get());
    }
    console.message(std::string("renderer: ") + PlayerControl::renderKindName(options.renderKind));
    if (!headless) {
        console.message(HostWindow::keyHelp());
    }

    signal(SIGINT, onStopSignal);
    signal(SIGTERM, onStopSignal);
    bool anyCamera = false;
    bool allEnd = true;
    for (size_t i = 0; i < tiles.size(); ++i) {
        anyCamera = anyCamera || sources[i] == Options::kSimulatedCamera;
        allEnd = allEnd && !tiles[i]->endless();
    }
    Session::Settings sessionSettings;
    sessionSettings.durationSeconds = options.durationSeconds;
    if (headless && anyCamera && options.durationSeconds < 0) {
        sessionSettings.durationSeconds = kHeadlessCameraSeconds;
    }
    sessionSettings.outDir = options.outDir;
    sessionSettings.endWithSources = headless && allEnd;
    Session session(sessionSettings, Script(options), &console, started, &view,
                    headless ? nullptr : &window);
    const int status = session.run(g_stopRequested);
    // Each tile stops its player and its feeding before the window goes.
    tiles.clear();
    return status;
}
