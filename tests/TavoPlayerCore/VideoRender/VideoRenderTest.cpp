// GoogleTest comes before Xlib, whose macros (None, Bool) clash with its names.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <vector>

#include "Platform/D3D9/Direct3D9ForTesting.h"
#include "Platform/DDraw/DirectDraw.h"
#include "TavoPlayerCore/VideoRender/D3DRender.h"
#include "TavoPlayerCore/VideoRender/D3DTXRender.h"
#include "TavoPlayerCore/VideoRender/DDrawRender.h"
#include "support/ColourBarPicture.h"
#include "support/ManualTimeSource.h"
#include "support/OffscreenTestWindow.h"
#include "support/X11TestWindow.h"
#include "support/XvfbServer.h"
#include "tavoplayer/TavoOffscreenWindow.h"

namespace {

using Render = std::unique_ptr<IVideoRender>;

// The three renderers on the real Direct3D 9 and DirectDraw stand-ins, and
// how each one's platform is made to fail.
struct Kind {
    const char* name;
    bool (*create)(IVideoRender**);
    void (*failOpen)();  // the renderer cannot make its device
    int32_t failedOpen;  // what SetFormat answers then
    void (*makeBusy)();  // the next draw finds its surface busy
    bool busyDropsTheFrame;
    void (*loseDevice)();
    int darkFramesAfterLoss;
    uint64_t waitedWhileLostMs;
    void (*failRecovery)();  // the next recovery from a lost device fails (null: none can)
};

void PrintTo(const Kind& kind, std::ostream* out) {
    *out << kind.name;
}

HRESULT failingDirectDrawCreate(GUID*, void**, REFIID, IUnknown*) {
    return DDERR_GENERIC;
}

void failCreateDevice() {
    Direct3D9Faults faults;
    faults.failCreateDevice = true;
    setDirect3D9FaultsForTesting(faults);
}

const Kind kKinds[] = {
    {"DDrawRender", createDDrawRender, [] { DirectDrawRedirectCreateEx(failingDirectDrawCreate); },
     -1, [] { DirectDrawSimulateBusyLocks(3); }, false, DirectDrawSimulateModeChange, 0, 0,
     nullptr},
    {"D3DRender", createD3DRender, failCreateDevice, 1,
     [] {
         Direct3D9Faults faults;
         faults.busySurfaces = true;
         setDirect3D9FaultsForTesting(faults);
     },
     true, [] { loseNextPresentForTesting(1); }, 2, 100,
     [] { failCallForTesting(Direct3D9Call::Reset, 1, D3DERR_DEVICELOST); }},
    {"D3DTXRender", createD3DTXRender, failCreateDevice, 0,
     [] { failCallForTesting(Direct3D9Call::TextureLock, 2, D3DERR_WASSTILLDRAWING); }, true,
     [] { loseNextPresentForTesting(1); }, 2, 0, failCreateDevice},
};

void clearFaults() {
    setDirect3D9FaultsForTesting(Direct3D9Faults());
    DirectDrawRedirectCreateEx(nullptr);
}

// True when the renderer's last-picture copy holds exactly the picture.
bool keeps(IVideoRender& render, const ColourBarPicture& bars) {
    std::vector<uint8_t> planes[3];
    VideoPicture copy{};
    for (int i = 0; i < 3; ++i) {
        planes[i].assign(static_cast<size_t>(bars.picture().linesize[i]) * bars.height(), 0);
        copy.data[i] = planes[i].data();
    }
    if (render.GetLastPicture(&copy) != 0) {
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        const size_t rows = i == 0 ? bars.height() : bars.height() / 2;
        if (copy.linesize[i] != bars.picture().linesize[i] ||
            std::memcmp(planes[i].data(), bars.picture().data[i], copy.linesize[i] * rows) != 0) {
            return false;
        }
    }
    return true;
}

Render openRender(bool (*create)(IVideoRender**), HWND window, int width, int height,
                  int32_t* opened = nullptr) {
    IVideoRender* render = nullptr;
    EXPECT_TRUE(create(&render));
    EXPECT_FALSE(create(&render));  // a factory fills only an empty slot
    render->SetWindow(window, 0);
    const int32_t result = render->SetFormat(width, height, kPixelFormatYUV420);
    if (opened) {
        *opened = result;
    }
    return Render(render);
}

class VideoRenderTest : public testing::TestWithParam<Kind> {
protected:
    void TearDown() override { clearFaults(); }

    Render open(HWND window, int width, int height, int32_t* opened = nullptr) {
        return openRender(GetParam().create, window, width, height, opened);
    }
};

}  // namespace

TEST_P(VideoRenderTest, DrawsColourBarsOverTheWholeWindow) {
    struct Case {
        int pictureWidth, pictureHeight, windowWidth, windowHeight;
    };
    for (const Case& c : {Case{64, 48, 160, 120}, Case{64, 48, 40, 30}, Case{63, 37, 101, 71},
                          Case{63, 37, 31, 19}}) {
        SCOPED_TRACE(testing::Message() << c.pictureWidth << "x" << c.pictureHeight << " in "
                                        << c.windowWidth << "x" << c.windowHeight);
        OffscreenTestWindow window(c.windowWidth, c.windowHeight);
        ColourBarPicture bars(c.pictureWidth, c.pictureHeight);
        int32_t opened = -1;
        Render render = open(window.handle(), c.pictureWidth, c.pictureHeight, &opened);
        EXPECT_EQ(0, opened);
        EXPECT_EQ(1, render->GetLastPicture(nullptr));  // nothing drawn yet
        EXPECT_EQ(0, render->RepaintLastPicture());
        EXPECT_TRUE(window.isBlack());
        EXPECT_EQ(0, render->RenderPicture(&bars.picture()));
        bars.expectShownIn(window);
    }
}

TEST_P(VideoRenderTest, AZeroSizedWindowKeepsTheCopyThatRepaintShowsOnceResized) {
    OffscreenTestWindow window(0, 0);
    Render render = open(window.handle(), 64, 48);
    {
        // The renderer keeps its own copy: the decoder's planes may be gone.
        ColourBarPicture bars(64, 48);
        EXPECT_EQ(0, render->RenderPicture(&bars.picture()));
        EXPECT_EQ(0, render->RepaintLastPicture());
        EXPECT_TRUE(keeps(*render, bars));
    }
    for (const int width : {120, 50}) {
        ASSERT_EQ(0, tavoResizeOffscreenWindow(window.handle(), width, 50));  // black again
        EXPECT_EQ(0, render->RepaintLastPicture());
        ColourBarPicture(64, 48).expectShownIn(window);
    }
}

TEST_P(VideoRenderTest, LastPictureCopiesHaveFourRowsToSpare) {
    // The copy's buffers are sized from the first picture's strides for
    // (height / 4) x 4 + 4 rows; a later picture whose planes would not fit
    // is refused, which shows how many rows there are.
    struct Case {
        uint32_t height;
        int32_t fitting;  // the largest luma stride that still fits
    };
    for (const Case& test : {Case{1080, 1003}, Case{1082, 1001}}) {
        Render render = open(nullptr, 64, test.height);  // no window: draws nothing
        std::vector<uint8_t> source(static_cast<size_t>(test.fitting + 1) * test.height, 7);
        VideoPicture picture{
            {source.data(), source.data(), source.data()}, {1000, 500, 500}, 0, nullptr};
        std::vector<uint8_t> target(source.size());
        VideoPicture copy{{target.data(), target.data(), target.data()}, {0, 0, 0}, 0, nullptr};
        render->RenderPicture(&picture);
        for (const int32_t stride : {test.fitting, test.fitting + 1}) {
            picture.linesize[0] = stride;
            render->RenderPicture(&picture);
            ASSERT_EQ(0, render->GetLastPicture(&copy));
            EXPECT_EQ(test.fitting, copy.linesize[0]) << test.height;
        }
    }
}

// Without a device nothing is drawn; a busy surface drops the frame or is
// waited for. Either way the renderer keeps its copy.
TEST_P(VideoRenderTest, WithoutADeviceOrWithABusySurfaceTheCopyIsKept) {
    OffscreenTestWindow window(40, 30);
    ColourBarPicture bars(32, 16);
    GetParam().failOpen();
    int32_t opened = 0;
    Render render = open(window.handle(), 32, 16, &opened);
    EXPECT_EQ(GetParam().failedOpen, opened);
    EXPECT_EQ(0, render->RenderPicture(&bars.picture()));
    EXPECT_TRUE(window.isBlack());
    EXPECT_TRUE(keeps(*render, bars));
    clearFaults();

    render = open(window.handle(), 32, 16);
    GetParam().makeBusy();
    EXPECT_EQ(0, render->RenderPicture(&bars.picture()));
    EXPECT_EQ(GetParam().busyDropsTheFrame, window.isBlack());
    EXPECT_TRUE(keeps(*render, bars));
    // Once the surface is free, the kept picture is drawn: nothing stayed locked.
    clearFaults();
    render->RepaintLastPicture();
    bars.expectShownIn(window);
}

TEST_P(VideoRenderTest, RecoversFromALostDevice) {
    ManualTimeSource time;
    OffscreenTestWindow window(48, 32);
    ColourBarPicture bars(32, 16);
    Render render = open(window.handle(), 32, 16);
    render->RenderPicture(&bars.picture());
    tavoResizeOffscreenWindow(window.handle(), 48, 32);  // black again

    GetParam().loseDevice();
    for (int frame = 0; frame < GetParam().darkFramesAfterLoss; ++frame) {
        render->RenderPicture(&bars.picture());
        EXPECT_TRUE(window.isBlack()) << frame;
    }
    render->RenderPicture(&bars.picture());
    bars.expectShownIn(window);
    EXPECT_EQ(GetParam().waitedWhileLostMs, time.sleptMs());
    render->RenderPicture(&bars.picture());
    EXPECT_EQ(GetParam().waitedWhileLostMs, time.sleptMs());
}

TEST_P(VideoRenderTest, AFailedRecoveryIsTriedAgain) {
    if (!GetParam().failRecovery) {
        GTEST_SKIP() << "no recovery step can be made to fail";
    }
    ManualTimeSource time;
    OffscreenTestWindow window(48, 32);
    ColourBarPicture bars(32, 16);
    Render render = open(window.handle(), 32, 16);
    loseNextPresentForTesting(0);
    render->RenderPicture(&bars.picture());  // lost at present
    GetParam().failRecovery();
    render->RenderPicture(&bars.picture());
    clearFaults();
    tavoResizeOffscreenWindow(window.handle(), 48, 32);  // black again
    render->RenderPicture(&bars.picture());
    bars.expectShownIn(window);
}

// DirectDraw draws at the window's place on the screen: drawn at the old
// place, a picture would miss a window that moved.
TEST_P(VideoRenderTest, DrawsIntoAnX11WindowWhereverItMoves) {
    XvfbServer server(640, 480);
    ASSERT_TRUE(server.started());
    X11TestWindow window(121, 91);
    ASSERT_TRUE(window.valid());
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(nullptr, display);
    ColourBarPicture bars(63, 37);
    Render render = open(window.handle(), 63, 37);
    for (const int x : {10, 300}) {
        const Window id = static_cast<Window>(reinterpret_cast<uintptr_t>(window.handle()));
        XMoveWindow(display, id, x, 200);
        XClearWindow(display, id);
        XSync(display, False);
        render->RenderPicture(&bars.picture());
        int width = 0;
        int height = 0;
        const std::vector<uint8_t> pixels = window.read(&width, &height);
        ASSERT_FALSE(pixels.empty());
        bars.expectShownIn(pixels.data(), width * 4, width, height);
    }
    XCloseDisplay(display);
}

INSTANTIATE_TEST_SUITE_P(Renderers, VideoRenderTest, testing::ValuesIn(kKinds),
                         [](const testing::TestParamInfo<Kind>& info) { return info.param.name; });

TEST(D3DTXRender, ShaderVersionAndDynamicTexturesDecideWhetherItDraws) {
    struct Case {
        DWORD pixelShaderVersion;
        bool noDynamicTextures;
        bool draws;
    };
    for (const Case& c :
         {Case{D3DPS_VERSION(3, 0), false, true}, Case{D3DPS_VERSION(2, 0), false, true},
          Case{D3DPS_VERSION(1, 4), false, false}, Case{0, true, false}}) {
        SCOPED_TRACE(testing::Message()
                     << std::hex << c.pixelShaderVersion << " " << c.noDynamicTextures);
        Direct3D9Faults faults;
        faults.pixelShaderVersion = c.pixelShaderVersion;
        faults.noDynamicTextures = c.noDynamicTextures;
        setDirect3D9FaultsForTesting(faults);
        OffscreenTestWindow window(80, 60);
        ColourBarPicture bars(64, 48);
        Render render = openRender(createD3DTXRender, window.handle(), 64, 48);
        for (int frame = 0; frame < 2; ++frame) {  // every frame tries again
            EXPECT_EQ(0, render->RenderPicture(&bars.picture()));
        }
        if (c.draws) {
            bars.expectShownIn(window);
        } else {
            EXPECT_TRUE(window.isBlack());
        }
        EXPECT_TRUE(keeps(*render, bars));
    }
    setDirect3D9FaultsForTesting(Direct3D9Faults());
}

TEST(D3DTXRender, WindowScalingTakesEffectAtASizeChangeAndNeverCopiesPastTheTextures) {
    OffscreenTestWindow window(20, 16);
    ColourBarPicture bars(64, 48);
    Render render = openRender(createD3DTXRender, window.handle(), 64, 48);
    render->RenderPicture(&bars.picture());
    render->SetWindowScaling(1);
    // Made again without a size change, the textures take the window's size
    // (smaller than the picture) while nothing scales the planes for them.
    loseNextPresentForTesting(0);
    render->RenderPicture(&bars.picture());  // lost at present
    tavoResizeOffscreenWindow(window.handle(), 20, 16);
    render->RenderPicture(&bars.picture());
    EXPECT_FALSE(window.isBlack());

    tavoResizeOffscreenWindow(window.handle(), 121, 91);
    render->RenderPicture(&bars.picture());
    bars.expectShownIn(window);
}

// The video window at (10, 10) with its right half, columns 80 to 159,
// under another window.
TEST(DDrawRenderX11, AWindowOnTopKeepsItsPixels) {
    XvfbServer server(640, 480);
    ASSERT_TRUE(server.started());
    X11TestWindow window(160, 120);
    ASSERT_TRUE(window.valid());
    Render render = openRender(createDDrawRender, window.handle(), 128, 96);
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(nullptr, display);
    const Window root = DefaultRootWindow(display);
    XMapWindow(display, XCreateSimpleWindow(display, root, 90, 0, 200, 200, 0, 0, 0x00FF00));
    XSync(display, False);
    ColourBarPicture bars(128, 96);
    render->RenderPicture(&bars.picture());

    const std::vector<uint8_t> shown = X11TestWindow::readDrawable(display, root, 10, 10, 160, 120);
    ASSERT_FALSE(shown.empty());
    for (int bar = 0; bar < ColourBarPicture::kBars; ++bar) {
        const int x = (2 * bar + 1) * 160 / (2 * ColourBarPicture::kBars);
        uint8_t expected[3] = {0, 0xFF, 0};
        if (x < 80) {
            ColourBarPicture::expectedRgb(bar, expected);
        }
        const uint8_t* pixel = &shown[(static_cast<size_t>(60) * 160 + x) * 4];
        for (int channel = 0; channel < 3; ++channel) {
            EXPECT_NEAR(expected[channel], pixel[channel], 3) << "bar " << bar;
        }
    }
    XCloseDisplay(display);
}
