// Milliseconds per draw step of the two Direct3D renderers, headless (Mesa's
// surfaceless platform, offscreen windows), with a bare libswscale conversion
// of the same pictures to RGBA at the window size as the baseline:
// - one 1920x1080 picture into a 1280x720 window;
// - a camera wall: 16 renderers, each drawing a 1280x720 picture into its
//   own 480x270 window, one after the other (one iteration draws the wall).
// The draw step is timed through RepaintLastPicture, which runs exactly the
// draw step on the picture the renderer already holds. Times are wall-clock:
// llvmpipe rasterises on threads of its own.

#include <benchmark/benchmark.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <memory>
#include <vector>

#include "TavoPlayerCore/VideoRender/IVideoRender.h"
#include "support/ColourBarPicture.h"
#include "support/RenderScreen.h"

namespace {

constexpr int kWallSize = 16;

// Renderers for windows of their own, each holding the picture as its last
// picture.
void drawScreens(benchmark::State& state, RenderScreen::Factory create, int pictureWidth,
                 int pictureHeight, int windowWidth, int windowHeight, int count) {
    const ColourBarPicture picture(pictureWidth, pictureHeight);
    std::vector<std::unique_ptr<RenderScreen>> screens;
    for (int i = 0; i < count; ++i) {
        screens.emplace_back(
            new RenderScreen(create, pictureWidth, pictureHeight, windowWidth, windowHeight));
        screens.back()->renderer()->RenderPicture(&picture.picture());
    }
    for (auto _ : state) {
        for (const std::unique_ptr<RenderScreen>& screen : screens) {
            screen->renderer()->RepaintLastPicture();
        }
    }
    state.counters["draws"] = benchmark::Counter(static_cast<double>(count),
                                                 benchmark::Counter::kIsIterationInvariantRate);
}

void convertPictures(benchmark::State& state, int pictureWidth, int pictureHeight, int windowWidth,
                     int windowHeight, int count) {
    const ColourBarPicture picture(pictureWidth, pictureHeight);
    SwsContext* context =
        sws_getContext(pictureWidth, pictureHeight, AV_PIX_FMT_YUV420P, windowWidth, windowHeight,
                       AV_PIX_FMT_RGBA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    std::vector<uint8_t> rgba(static_cast<size_t>(windowWidth) * windowHeight * 4);
    uint8_t* const target[4] = {rgba.data(), nullptr, nullptr, nullptr};
    const int targetStrides[4] = {windowWidth * 4, 0, 0, 0};
    const VideoPicture& p = picture.picture();
    const uint8_t* const source[4] = {p.data[0], p.data[1], p.data[2], nullptr};
    const int sourceStrides[4] = {p.linesize[0], p.linesize[1], p.linesize[2], 0};
    for (auto _ : state) {
        for (int i = 0; i < count; ++i) {
            sws_scale(context, source, sourceStrides, 0, pictureHeight, target, targetStrides);
            benchmark::DoNotOptimize(rgba.data());
        }
    }
    state.counters["draws"] = benchmark::Counter(static_cast<double>(count),
                                                 benchmark::Counter::kIsIterationInvariantRate);
    sws_freeContext(context);
}

void BM_D3DRender_1080pInto720p(benchmark::State& state) {
    drawScreens(state, createD3DRender, 1920, 1080, 1280, 720, 1);
}

void BM_D3DTXRender_1080pInto720p(benchmark::State& state) {
    drawScreens(state, createD3DTXRender, 1920, 1080, 1280, 720, 1);
}

void BM_Swscale_1080pInto720p(benchmark::State& state) {
    convertPictures(state, 1920, 1080, 1280, 720, 1);
}

void BM_D3DRender_Wall16_720pInto270p(benchmark::State& state) {
    drawScreens(state, createD3DRender, 1280, 720, 480, 270, kWallSize);
}

void BM_D3DTXRender_Wall16_720pInto270p(benchmark::State& state) {
    drawScreens(state, createD3DTXRender, 1280, 720, 480, 270, kWallSize);
}

void BM_Swscale_Wall16_720pInto270p(benchmark::State& state) {
    convertPictures(state, 1280, 720, 480, 270, kWallSize);
}

}  // namespace

BENCHMARK(BM_D3DRender_1080pInto720p)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_D3DTXRender_1080pInto720p)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Swscale_1080pInto720p)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_D3DRender_Wall16_720pInto270p)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_D3DTXRender_Wall16_720pInto270p)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Swscale_Wall16_720pInto270p)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
