// Milliseconds per draw step of DDrawRender into offscreen windows, beside a
// bare libswscale conversion of the same pictures to the same sizes (the
// conversion a blit cannot avoid).
//
//   DDrawRender/Render:   RenderPicture (plane copy into the surface, blit,
//                         last-picture copy) of a 1920x1080 picture into a
//                         1280x720 window
//   DDrawRender/Repaint:  the draw step alone (RepaintLastPicture)
//   CameraWall/...:       16 renderers, each drawing a 1280x720 picture into
//                         its own 480x270 window: on one thread (time per
//                         round of 16), and on one thread per renderer as 16
//                         players run them (wall time per draw, all threads
//                         together: a round takes 16 times that)
//   SwscaleBaseline/...:  sws_scale of the same pictures, YUV 4:2:0 to RGBA,
//                         bilinear

extern "C" {
#include <libswscale/swscale.h>
}

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "TavoPlayerCore/VideoRender/IVideoRender.h"
#include "support/ColourBarPicture.h"
#include "support/RenderScreen.h"

namespace {

constexpr int kWallSize = 16;

void DDrawRenderRender(benchmark::State& state) {
    ColourBarPicture picture(1920, 1080);
    RenderScreen screen(createDDrawRender, picture.width(), picture.height(), 1280, 720);
    for (auto _ : state) {
        screen.renderer()->RenderPicture(&picture.picture());
    }
}
BENCHMARK(DDrawRenderRender)
    ->Name("DDrawRender/Render/1920x1080to1280x720")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void DDrawRenderRepaint(benchmark::State& state) {
    ColourBarPicture picture(1920, 1080);
    RenderScreen screen(createDDrawRender, picture.width(), picture.height(), 1280, 720);
    screen.renderer()->RenderPicture(&picture.picture());
    for (auto _ : state) {
        screen.renderer()->RepaintLastPicture();
    }
}
BENCHMARK(DDrawRenderRepaint)
    ->Name("DDrawRender/Repaint/1920x1080to1280x720")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void CameraWall(benchmark::State& state) {
    ColourBarPicture picture(1280, 720);
    std::vector<std::unique_ptr<RenderScreen>> wall;
    for (int i = 0; i < kWallSize; ++i) {
        wall.emplace_back(
            new RenderScreen(createDDrawRender, picture.width(), picture.height(), 480, 270));
    }
    for (auto _ : state) {
        for (const std::unique_ptr<RenderScreen>& screen : wall) {
            screen->renderer()->RenderPicture(&picture.picture());
        }
    }
    state.counters["ms_per_renderer"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kWallSize,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(CameraWall)
    ->Name("CameraWall/16x1280x720to480x270/OneThread")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Each thread is one player's video loop with its own renderer and window.
void CameraWallThreads(benchmark::State& state) {
    ColourBarPicture picture(1280, 720);
    RenderScreen screen(createDDrawRender, picture.width(), picture.height(), 480, 270);
    for (auto _ : state) {
        screen.renderer()->RenderPicture(&picture.picture());
    }
}
BENCHMARK(CameraWallThreads)
    ->Name("CameraWall/16x1280x720to480x270/ThreadPerRenderer")
    ->Threads(kWallSize)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void SwscaleBaseline(benchmark::State& state) {
    ColourBarPicture picture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const int width = static_cast<int>(state.range(2));
    const int height = static_cast<int>(state.range(3));
    SwsContext* context =
        sws_getContext(picture.width(), picture.height(), AV_PIX_FMT_YUV420P, width, height,
                       AV_PIX_FMT_RGBA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
    uint8_t* destination[1] = {rgba.data()};
    const int destinationStride[1] = {width * 4};
    for (auto _ : state) {
        sws_scale(context, picture.picture().data, picture.picture().linesize, 0, picture.height(),
                  destination, destinationStride);
    }
    sws_freeContext(context);
}
BENCHMARK(SwscaleBaseline)
    ->Name("SwscaleBaseline")
    ->Args({1920, 1080, 1280, 720})
    ->Args({1280, 720, 480, 270})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
