#include "Options.h"

#include <cstdlib>
#include <cstring>

namespace {

bool parseNumber(const char* text, double* value) {
    char* end = nullptr;
    *value = std::strtod(text, &end);
    return end != text && *end == '\0' && *value >= 0;
}

bool parseInt(const char* text, int* value) {
    char* end = nullptr;
    const long number = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || number <= 0 || number > 100000) {
        return false;
    }
    *value = static_cast<int>(number);
    return true;
}

bool parseSize(const char* text, int* width, int* height) {
    const char* x = std::strchr(text, 'x');
    if (!x) {
        return false;
    }
    const std::string first(text, x);
    return parseInt(first.c_str(), width) && parseInt(x + 1, height);
}

}  // namespace

simcam::CameraSettings Options::defaultCamera() {
    simcam::CameraSettings settings;
    settings.videoCodec = simcam::VideoCodec::H264;
    settings.width = 1280;
    settings.height = 720;
    settings.frameRate = 25;
    settings.keyFrameInterval = 25;
    settings.audioCodec = simcam::AudioCodec::AAC;
    settings.audioSampleRate = 8000;
    settings.audioChannels = 1;
    return settings;
}

const char* Options::usage() {
    return "usage: tavoplay [options] [SOURCE]\n"
           "       tavoplay --grid CxR [options] [SOURCE...]\n"
           "\n"
           "Plays SOURCE through the player engine: in a window when there is a display,\n"
           "otherwise headless. SOURCE is a file (MP4, MKV, MPEG-TS, FLV, .h264, .h265,\n"
           ".aac, .mp3, .wav with G.711), a network stream (rtsp://, udp:// or rtp://\n"
           "MPEG-TS, http(s):// MPEG-TS or HLS), or sim: the simulated camera (also what\n"
           "plays without a SOURCE). A network stream that ends or fails is connected\n"
           "again after 1, 2, 4 ... up to 30 s, the last picture staying on.\n"
           "\n"
           "Network:\n"
           "  --rtsp-transport tcp|udp   how rtsp:// streams are carried (libavformat's choice)\n"
           "Grid:\n"
           "  --grid CxR               up to 36 sources as tiles of one window, C columns and\n"
           "                           R rows (without SOURCEs: a simulated camera in every\n"
           "                           tile, showing its tile number). A click selects a\n"
           "                           tile; keys act on it and only it is heard; f shows it\n"
           "                           alone and back\n"
           "Simulated camera:\n"
           "  --codec h264|h265        video codec (h264)\n"
           "  --size WxH               picture size (1280x720)\n"
           "  --rate N                 pictures per second (25); a key frame every second\n"
           "  --audio aac|mp3|g711a|g711u|none   sound (aac)\n"
           "  --sample-rate HZ         AAC and MP3 sample rate (8000; G.711 is 8000)\n"
           "Pacing:\n"
           "  --live                   pace FILE like a live camera (files otherwise play\n"
           "                           as fast as the player takes them)\n"
           "  --delay MS               hold every sample back until MS ms have passed, like\n"
           "                           a stalled network; the player then catches up\n"
           "Display:\n"
           "  --headless               no window, even when there is a display\n"
           "  --renderer ddraw|d3d|shader   video renderer (shader)\n"
           "  --out DIR                where snapshots and recordings made with keys go (.)\n"
           "  --verbose                keep the engine's own output (a line per sound block)\n"
           "                           and libav's messages\n"
           "Script (SECONDS from the start; works with and without a window):\n"
           "  --duration SECONDS       stop then (headless: 10 for the camera, the end of FILE)\n"
           "  --snapshot-at SECONDS FILE   save the picture as JPEG, or the first picture\n"
           "                           if none is shown by then (in a grid one per tile:\n"
           "                           %d in FILE becomes the tile number)\n"
           "  --record FILE FROM TO    record to an MP4 file from FROM to TO\n"
           "  --replay-at SECONDS      replay the stored minute from then on\n"
           "  --seek SECONDS           with --replay-at: seek the replay to SECONDS into the\n"
           "                           stored minute\n"
           "  -h, --help               this text\n";
}

bool Options::parse(int argc, const char* const* argv, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        // The values an option takes, checked for presence here.
        auto value = [&](int count) -> const char* const* {
            if (i + count >= argc) {
                *error = option + " needs " + std::to_string(count) +
                         (count == 1 ? " value" : " values");
                return nullptr;
            }
            const char* const* values = argv + i + 1;
            i += count;
            return values;
        };
        const char* const* v = nullptr;
        if (option == "-h" || option == "--help") {
            help = true;
        } else if (option == "--codec") {
            if (!(v = value(1))) {
                return false;
            }
            const std::string codec = v[0];
            if (codec == "h264") {
                camera.videoCodec = simcam::VideoCodec::H264;
            } else if (codec == "h265") {
                camera.videoCodec = simcam::VideoCodec::H265;
            } else {
                *error = "--codec takes h264 or h265, not " + codec;
                return false;
            }
        } else if (option == "--size") {
            if (!(v = value(1)) || !parseSize(v[0], &camera.width, &camera.height) ||
                camera.width % 2 || camera.height % 2) {
                *error = "--size takes an even WIDTHxHEIGHT, such as 640x360";
                return false;
            }
            cameraSizeGiven = true;
        } else if (option == "--grid") {
            if (!(v = value(1)) || !parseSize(v[0], &gridColumns, &gridRows) ||
                gridColumns * gridRows > kMaxTiles) {
                *error = "--grid takes COLUMNSxROWS of at most 36 tiles, such as 3x3";
                return false;
            }
        } else if (option == "--rtsp-transport") {
            if (!(v = value(1)) ||
                (std::strcmp(v[0], "tcp") != 0 && std::strcmp(v[0], "udp") != 0)) {
                *error = "--rtsp-transport takes tcp or udp";
                return false;
            }
            rtspTransport = v[0];
        } else if (option == "--rate") {
            if (!(v = value(1)) || !parseInt(v[0], &camera.frameRate) || camera.frameRate > 120) {
                *error = "--rate takes pictures per second, 1 to 120";
                return false;
            }
            camera.keyFrameInterval = camera.frameRate;
        } else if (option == "--audio") {
            if (!(v = value(1))) {
                return false;
            }
            const std::string codec = v[0];
            if (codec == "aac") {
                camera.audioCodec = simcam::AudioCodec::AAC;
            } else if (codec == "mp3") {
                camera.audioCodec = simcam::AudioCodec::MP3;
            } else if (codec == "g711a") {
                camera.audioCodec = simcam::AudioCodec::G711ALaw;
            } else if (codec == "g711u") {
                camera.audioCodec = simcam::AudioCodec::G711MuLaw;
            } else if (codec == "none") {
                camera.audioCodec = simcam::AudioCodec::None;
            } else {
                *error = "--audio takes aac, mp3, g711a, g711u or none, not " + codec;
                return false;
            }
        } else if (option == "--sample-rate") {
            if (!(v = value(1)) || !parseInt(v[0], &camera.audioSampleRate)) {
                *error = "--sample-rate takes a rate in Hz, such as 8000 or 16000";
                return false;
            }
        } else if (option == "--live") {
            live = true;
        } else if (option == "--delay") {
            int ms = 0;
            if (!(v = value(1)) || !parseInt(v[0], &ms)) {
                *error = "--delay takes milliseconds";
                return false;
            }
            holdBackMs = static_cast<uint32_t>(ms);
        } else if (option == "--headless") {
            headless = true;
        } else if (option == "--verbose") {
            verbose = true;
        } else if (option == "--renderer") {
            if (!(v = value(1))) {
                return false;
            }
            const std::string kind = v[0];
            if (kind == "ddraw") {
                renderKind = RENDER_KIND_DDRAW;
            } else if (kind == "d3d") {
                renderKind = RENDER_KIND_D3D;
            } else if (kind == "shader") {
                renderKind = RENDER_KIND_D3D_SHADER;
            } else {
                *error = "--renderer takes ddraw, d3d or shader, not " + kind;
                return false;
            }
        } else if (option == "--out") {
            if (!(v = value(1))) {
                return false;
            }
            outDir = v[0];
        } else if (option == "--duration") {
            if (!(v = value(1)) || !parseNumber(v[0], &durationSeconds)) {
                *error = "--duration takes seconds";
                return false;
            }
        } else if (option == "--snapshot-at") {
            Snapshot snapshot;
            if (!(v = value(2)) || !parseNumber(v[0], &snapshot.atSeconds)) {
                *error = "--snapshot-at takes SECONDS and a FILE";
                return false;
            }
            snapshot.path = v[1];
            snapshots.push_back(snapshot);
        } else if (option == "--record") {
            Recording recording;
            if (!(v = value(3)) || !parseNumber(v[1], &recording.fromSeconds) ||
                !parseNumber(v[2], &recording.toSeconds) ||
                recording.toSeconds <= recording.fromSeconds) {
                *error = "--record takes a FILE and seconds FROM and TO, FROM before TO";
                return false;
            }
            recording.path = v[0];
            recordings.push_back(recording);
        } else if (option == "--replay-at") {
            if (!(v = value(1)) || !parseNumber(v[0], &replayAtSeconds)) {
                *error = "--replay-at takes seconds";
                return false;
            }
        } else if (option == "--seek") {
            if (!(v = value(1)) || !parseNumber(v[0], &seekSeconds)) {
                *error = "--seek takes seconds";
                return false;
            }
        } else if (!option.empty() && option[0] == '-') {
            *error = "unknown option " + option;
            return false;
        } else {
            sources.push_back(option);
        }
    }
    const size_t tiles = static_cast<size_t>(gridColumns * gridRows);
    if (gridColumns == 0 && sources.size() > 1) {
        *error = "only one SOURCE can be played without --grid";
        return false;
    }
    if (gridColumns > 0 && sources.size() > tiles) {
        *error = "the grid has " + std::to_string(tiles) + " tiles for " +
                 std::to_string(sources.size()) + " sources";
        return false;
    }
    for (const Snapshot& snapshot : snapshots) {
        if (gridColumns > 0 && snapshot.path.find("%d") == std::string::npos) {
            *error = "--snapshot-at in a grid needs %d in FILE for the tile number";
            return false;
        }
    }
    if (seekSeconds >= 0 && replayAtSeconds < 0) {
        *error = "--seek works together with --replay-at";
        return false;
    }
    return true;
}
