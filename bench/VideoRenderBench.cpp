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
#include "tavoplayer/TavoOffscreenWindow.h"

namespace {

constexpr int kWallSize = 16;

// A YUV 4:2:0 picture with a luma ramp and two chroma ramps.
class Picture {
public:
    Picture(int width, int height) : m_width(width), m_height(height), m_picture{} {
        const int widths[3] = {width, width / 2, width / 2};
        const int heights[3] = {height, height / 2, height / 2};
        for (int plane = 0; plane < 3; ++plane) {
            m_planes[plane].resize(static_cast<size_t>(widths[plane]) * heights[plane]);
            for (int y = 0; y < heights[plane]; ++y) {
                for (int x = 0; x < widths[plane]; ++x) {
                    m_planes[plane][static_cast<size_t>(y) * widths[plane] + x] =
                        static_cast<uint8_t>(16 + (x + y * (plane + 1)) % 220);
                }
            }
            m_picture.data[plane] = m_planes[plane].data();
            m_picture.linesize[plane] = widths[plane];
        }
    }

    const VideoPicture& picture() const { return m_picture; }
    int width() const { return m_width; }
    int height() const { return m_height; }

private:
    int m_width;
    int m_height;
    std::vector<uint8_t> m_planes[3];
    VideoPicture m_picture;
};

struct Screen {
    void* window;
    std::unique_ptr<IVideoRender> render;
};

using Factory = bool (*)(IVideoRender**);

// A renderer for its own window, holding the picture as its last picture.
Screen makeScreen(Factory create, const Picture& picture, int windowWidth, int windowHeight) {
    Screen screen{tavoCreateOffscreenWindow(windowWidth, windowHeight), nullptr};
    IVideoRender* render = nullptr;
    create(&render);
    render->SetWindow(screen.window, 0);
    render->SetFormat(static_cast<uint32_t>(picture.width()),
                      static_cast<uint32_t>(picture.height()), kPixelFormatYUV420);
    render->RenderPicture(&picture.picture());
    screen.render.reset(render);
    return screen;
}

void destroy(std::vector<Screen>* screens) {
    for (Screen& screen : *screens) {
        screen.render.reset();
        tavoDestroyOffscreenWindow(screen.window);
    }
}

void drawScreens(benchmark::State& state, Factory create, int pictureWidth, int pictureHeight,
                 int windowWidth, int windowHeight, int count) {
    const Picture picture(pictureWidth, pictureHeight);
    std::vector<Screen> screens;
    for (int i = 0; i < count; ++i) {
        screens.push_back(makeScreen(create, picture, windowWidth, windowHeight));
    }
    for (auto _ : state) {
        for (Screen& screen : screens) {
            screen.render->RepaintLastPicture();
        }
    }
    state.counters["draws"] = benchmark::Counter(static_cast<double>(count),
                                                 benchmark::Counter::kIsIterationInvariantRate);
    destroy(&screens);
}

void convertPictures(benchmark::State& state, int pictureWidth, int pictureHeight, int windowWidth,
                     int windowHeight, int count) {
    const Picture picture(pictureWidth, pictureHeight);
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
