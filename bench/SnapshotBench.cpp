// Snapshot time for a 1920x1080 picture of the simulated camera (H.264), as
// wall time per JPEG file written into a temporary directory (the file is
// overwritten each time, so it stays in the page cache: no disk wait).
//
// BM_JpegSnapshot1080p: CJpegSnapshot::write on a decoded picture: packing
// the planes into one buffer, MJPEG encoding, muxing to the file.
// BM_PlayerSnapshot1080p: getParam(PARAM_SNAPSHOT) on a player that has
// played a short 1080p stream live into an offscreen window and rests on its
// last picture; adds the renderer's copy of that picture, under the video
// lock that the player's loop shares.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include "TavoPlayerCore/Decoder/CH264Decoder.h"
#include "TavoPlayerCore/TavoMediaPlayer/CJpegSnapshot.h"
#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayer.h"
#include "simcam/SimulatedCamera.h"
#include "support/OffscreenTestWindow.h"
#include "support/ScriptedHost.h"
#include "support/TempDir.h"

namespace {

constexpr uint32_t kStreamMs = 1000;

simcam::CameraSettings camera1080p() {
    simcam::CameraSettings settings;
    settings.videoCodec = simcam::VideoCodec::H264;
    settings.width = 1920;
    settings.height = 1080;
    settings.audioCodec = simcam::AudioCodec::None;
    return settings;
}

void BM_JpegSnapshot1080p(benchmark::State& state) {
    av_log_set_level(AV_LOG_ERROR);
    const simcam::CameraSettings settings = camera1080p();
    simcam::SimulatedCamera camera(settings);
    // Picture 1: picture 0 is a flash, mostly white, which would encode faster.
    simcam::EncodedUnit unit;
    CH264Decoder decoder;
    bool decoded = false;
    for (int i = 0; i < 2; ++i) {
        decoded = camera.nextVideo(&unit) &&
                  decoder.decode(unit.data.data(), static_cast<int>(unit.data.size()));
    }
    AVFrame* frame = nullptr;
    if (!decoded || !decoder.getFrame(&frame)) {
        state.SkipWithError("no 1080p picture");
        return;
    }
    VideoPicture picture{};
    for (int i = 0; i < 3; ++i) {
        picture.data[i] = frame->data[i];
        picture.linesize[i] = frame->linesize[i];
    }
    TempDir dir;
    const std::string path = dir.file("snapshot.jpg");
    for (auto _ : state) {
        if (CJpegSnapshot::write(picture, settings.width, settings.height, path.c_str()) != 0) {
            state.SkipWithError("the snapshot failed");
            return;
        }
    }
}

void BM_PlayerSnapshot1080p(benchmark::State& state) {
    av_log_set_level(AV_LOG_ERROR);
    ScriptedHost host;
    const size_t pictures = host.addCamera(camera1080p(), kStreamMs);
    OffscreenTestWindow screen(480, 270);
    CTavoMediaPlayer player;
    player.setHostContext(host.context());
    player.setParam(PARAM_WINDOW, screen.handle());
    host.start();
    player.run();
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (screen.pattern().number != static_cast<int64_t>(pictures) - 1) {
        if (std::chrono::steady_clock::now() > giveUp) {
            player.stop();
            state.SkipWithError("the stream was not played to its end");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    TempDir dir;
    std::string path = dir.file("snapshot.jpg");
    for (auto _ : state) {
        if (player.getParam(PARAM_SNAPSHOT, path.data()) != 0) {
            state.SkipWithError("the snapshot failed");
            break;
        }
    }
    player.stop();
}

}  // namespace

// Fixed iterations, as each run of a benchmark function sets its player up
// anew; three repetitions show how much the machine's load moves the figure.
BENCHMARK(BM_JpegSnapshot1080p)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40)
    ->Repetitions(3)
    ->ReportAggregatesOnly()
    ->UseRealTime();
BENCHMARK(BM_PlayerSnapshot1080p)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40)
    ->Repetitions(3)
    ->ReportAggregatesOnly()
    ->UseRealTime();

BENCHMARK_MAIN();
