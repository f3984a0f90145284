#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <tavoplayer/ITavoMediaPlayer.h>

#include "simcam/CameraSettings.h"

// The command line of tavoplay.
class Options {
public:
    struct Snapshot {
        double atSeconds;
        std::string path;
    };
    struct Recording {
        std::string path;
        double fromSeconds;
        double toSeconds;
    };

    // Parses argv. False with the reason in *error for a bad command line.
    bool parse(int argc, const char* const* argv, std::string* error);
    static const char* usage();

    // The most tiles a grid shows.
    static constexpr int kMaxTiles = 36;
    // What "sim" asks for: the simulated camera.
    static constexpr const char* kSimulatedCamera = "sim";

    bool help = false;
    // Files, URLs or kSimulatedCamera; empty: the simulated camera (in each
    // tile of a grid).
    std::vector<std::string> sources;
    // --grid COLUMNSxROWS; 0 without a grid.
    int gridColumns = 0;
    int gridRows = 0;
    // rtsp:// over "tcp" or "udp"; empty: libavformat's choice.
    std::string rtspTransport;
    simcam::CameraSettings camera = defaultCamera();
    // --size was given (a grid otherwise makes its cameras smaller).
    bool cameraSizeGiven = false;
    // Pace a file like a live camera (files otherwise play as fast as the player takes them).
    bool live = false;
    uint32_t holdBackMs = 0;
    bool headless = false;
    // Keep the engine's and libav's own output.
    bool verbose = false;
    int32_t renderKind = RENDER_KIND_D3D_SHADER;
    // Where snapshots and recordings made with keys go.
    std::string outDir = ".";
    // Seconds after the start; < 0: not given.
    double durationSeconds = -1;
    // In a grid, "%d" in the path becomes the tile number, from 1.
    std::vector<Snapshot> snapshots;
    std::vector<Recording> recordings;
    double replayAtSeconds = -1;
    // With replayAtSeconds: seconds into the stored minute to seek to; < 0: none.
    double seekSeconds = -1;

private:
    static simcam::CameraSettings defaultCamera();
};
