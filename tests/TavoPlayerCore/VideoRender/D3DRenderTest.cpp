#include "TavoPlayerCore/VideoRender/D3DRender.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Platform/D3D9/Direct3D9ForTesting.h"
#include "support/ColourBarPicture.h"
#include "support/FakeDirect3D9.h"
#include "support/ManualTimeSource.h"
#include "support/OffscreenTestWindow.h"
#include "support/ScopedDirect3D9Faults.h"
#include "support/X11TestWindow.h"
#include "support/XvfbServer.h"
#include "tavoplayer/TavoOffscreenWindow.h"

namespace {

using Render = std::unique_ptr<IVideoRender>;

Render makeRender(HWND window, int width, int height, uint32_t pixelFormat = 3,
                  int32_t* openResult = nullptr) {
    IVideoRender* render = nullptr;
    EXPECT_TRUE(createD3DRender(&render));
    render->SetWindow(window, 0);
    const int32_t result = render->SetFormat(width, height, pixelFormat);
    if (openResult) {
        *openResult = result;
    }
    return Render(render);
}

}  // namespace

TEST(D3DRender, DrawsColourBarsOverTheWholeWindow) {
    struct Case {
        int pictureWidth, pictureHeight, windowWidth, windowHeight;
    };
    for (const Case& c : {Case{64, 48, 160, 120}, Case{64, 48, 40, 30}, Case{63, 37, 100, 70},
                          Case{63, 37, 31, 19}}) {
        SCOPED_TRACE(testing::Message() << c.pictureWidth << "x" << c.pictureHeight << " in "
                                        << c.windowWidth << "x" << c.windowHeight);
        OffscreenTestWindow window(c.windowWidth, c.windowHeight);
        ColourBarPicture bars(c.pictureWidth, c.pictureHeight);
        int32_t opened = -1;
        Render render = makeRender(window.handle(), c.pictureWidth, c.pictureHeight, 3, &opened);
        EXPECT_EQ(0, opened);
        EXPECT_EQ(0, render->RenderPicture(&bars.picture()));
        bars.expectShownIn(window);
    }
}

TEST(D3DRender, RepaintShowsTheLastPictureInTheResizedWindow) {
    OffscreenTestWindow window(80, 60);
    ColourBarPicture bars(64, 48);
    Render render = makeRender(window.handle(), 64, 48);
    EXPECT_EQ(0, render->RepaintLastPicture());  // nothing to repaint yet
    render->RenderPicture(&bars.picture());

    // A resize needs no renderer call: the next present scales to the new size.
    tavoResizeOffscreenWindow(window.handle(), 120, 50);
    EXPECT_EQ(0, render->RepaintLastPicture());
    bars.expectShownIn(window);
}

TEST(D3DRender, ZeroSizedWindowDrawsNothingButKeepsTheCopy) {
    OffscreenTestWindow window(0, 0);
    ColourBarPicture bars(64, 48);
    Render render = makeRender(window.handle(), 64, 48);
    EXPECT_EQ(0, render->RenderPicture(&bars.picture()));
    EXPECT_EQ(0, render->RepaintLastPicture());

    std::vector<uint8_t> planes[3];
    VideoPicture copy{};
    for (int i = 0; i < 3; ++i) {
        planes[i].assign(static_cast<size_t>(bars.picture().linesize[i]) * 48, 0);
        copy.data[i] = planes[i].data();
    }
    ASSERT_EQ(0, render->GetLastPicture(&copy));
    EXPECT_EQ(0, std::memcmp(planes[0].data(), bars.picture().data[0], planes[0].size()));

    tavoResizeOffscreenWindow(window.handle(), 70, 50);
    render->RepaintLastPicture();
    bars.expectShownIn(window);
}

TEST(D3DRender, LastPictureAndValuePairAreKept) {
    ColourBarPicture bars(32, 16);
    Render render = makeRender(nullptr, 32, 16);
    uint8_t untouched[3][64];
    std::memset(untouched, 7, sizeof(untouched));
    VideoPicture target{{untouched[0], untouched[1], untouched[2]}, {1, 2, 3}, 99};
    EXPECT_EQ(1, render->GetLastPicture(&target));
    EXPECT_EQ(1, target.linesize[0]);
    EXPECT_EQ(7, untouched[0][0]);

    uint32_t first = 5;
    int32_t second = 5;
    render->LoadValuePair(&first, &second);
    EXPECT_EQ(0u, first);
    EXPECT_EQ(0, second);
    render->StoreValuePair(17, -3);
    render->LoadValuePair(&first, &second);
    EXPECT_EQ(17u, first);
    EXPECT_EQ(-3, second);

    render->RenderPicture(&bars.picture());
    std::vector<uint8_t> planes[3];
    for (int i = 0; i < 3; ++i) {
        planes[i].assign(static_cast<size_t>(bars.picture().linesize[i]) * 16, 0);
        target.data[i] = planes[i].data();
    }
    EXPECT_EQ(0, render->GetLastPicture(&target));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(bars.picture().linesize[i], target.linesize[i]);
        EXPECT_EQ(0, std::memcmp(planes[i].data(), bars.picture().data[i],
                                 static_cast<size_t>(target.linesize[i]) * (i == 0 ? 16 : 8)));
    }
    EXPECT_EQ(99u, target.time);
}

TEST(D3DRender, CopyBuffersHoldHeightPlusFourRowsRoundedDownToFour) {
    // The copy is sized by the first picture's strides: a later picture with
    // wider strides is kept only while it fits into (height / 4) x 4 + 4 rows.
    for (const uint32_t height : {1080u, 1082u}) {
        SCOPED_TRACE(height);
        const int32_t rows = 1084;
        Render render = makeRender(nullptr, 16, height);  // no window: nothing drawn
        auto pictureWithStrides = [&](int32_t luma, std::vector<uint8_t>* storage) {
            storage->assign(static_cast<size_t>(luma) * height * 2, 1);
            VideoPicture picture{};
            picture.data[0] = storage->data();
            picture.data[1] = storage->data() + static_cast<size_t>(luma) * height;
            picture.data[2] = picture.data[1];
            picture.linesize[0] = luma;
            picture.linesize[1] = luma / 2;
            picture.linesize[2] = luma / 2;
            return picture;
        };
        std::vector<uint8_t> storage;
        std::vector<uint8_t> target(static_cast<size_t>(rows + 2) * height, 0);
        VideoPicture copy{{target.data(), target.data(), target.data()}, {0, 0, 0}, 0};

        const int32_t firstStride = static_cast<int32_t>(height);
        VideoPicture first = pictureWithStrides(firstStride, &storage);
        render->RenderPicture(&first);
        // Luma: firstStride x 1084 bytes hold a stride of 1084 for height rows,
        // chroma: (firstStride / 2 x 1084) / 2 bytes hold 542 for height / 2 rows.
        VideoPicture fits = pictureWithStrides(rows, &storage);
        render->RenderPicture(&fits);
        ASSERT_EQ(0, render->GetLastPicture(&copy));
        EXPECT_EQ(rows, copy.linesize[0]);

        VideoPicture tooWide = pictureWithStrides(rows + 2, &storage);
        render->RenderPicture(&tooWide);
        ASSERT_EQ(0, render->GetLastPicture(&copy));
        EXPECT_EQ(rows, copy.linesize[0]);
    }
}

TEST(D3DRender, OpenFailsForAnotherPixelFormatOrWithoutAWindowButCopiesStillWork) {
    OffscreenTestWindow window(40, 30);
    ColourBarPicture bars(32, 16);
    int32_t opened = 0;
    Render render = makeRender(window.handle(), 32, 16, 5, &opened);
    EXPECT_EQ(1, opened);
    EXPECT_EQ(0, render->RenderPicture(&bars.picture()));
    EXPECT_TRUE(window.isBlack());
    std::vector<uint8_t> plane(64 * 16);
    VideoPicture copy{{plane.data(), plane.data(), plane.data()}, {0, 0, 0}, 0};
    EXPECT_EQ(0, render->GetLastPicture(&copy));

    makeRender(nullptr, 32, 16, 3, &opened);
    EXPECT_EQ(1, opened);

    ScopedDirect3D9Faults faults([] {
        Direct3D9Faults f;
        f.failCreateDevice = true;
        return f;
    }());
    makeRender(window.handle(), 32, 16, 3, &opened);
    EXPECT_EQ(1, opened);
}

TEST(D3DRender, BusySurfaceDropsTheFrameButKeepsTheCopy) {
    OffscreenTestWindow window(40, 30);
    ColourBarPicture bars(32, 16);
    Render render = makeRender(window.handle(), 32, 16);
    {
        ScopedDirect3D9Faults faults([] {
            Direct3D9Faults f;
            f.busySurfaces = true;
            return f;
        }());
        EXPECT_EQ(0, render->RenderPicture(&bars.picture()));
        EXPECT_TRUE(window.isBlack());
    }
    // The copy was kept: a repaint draws it once the surface is free.
    render->RepaintLastPicture();
    bars.expectShownIn(window);
}

TEST(D3DRender, RecoversFromALostDeviceAfterWaiting) {
    ManualTimeSource time;
    OffscreenTestWindow window(48, 32);
    ColourBarPicture bars(32, 16);
    Render render = makeRender(window.handle(), 32, 16);
    render->RenderPicture(&bars.picture());
    tavoResizeOffscreenWindow(window.handle(), 48, 32);  // back to black

    // Lost at this present; the device then answers "lost" once and "not reset" after.
    loseNextPresentForTesting(1);
    render->RenderPicture(&bars.picture());
    render->RenderPicture(&bars.picture());
    EXPECT_TRUE(window.isBlack());
    EXPECT_EQ(50u, time.sleptMs());

    render->RenderPicture(&bars.picture());  // resets and draws
    EXPECT_EQ(100u, time.sleptMs());
    bars.expectShownIn(window);
    render->RenderPicture(&bars.picture());
    EXPECT_EQ(100u, time.sleptMs());
}

TEST(D3DRender, DrawsIntoAnX11Window) {
    XvfbServer server;
    ASSERT_TRUE(server.started());
    X11TestWindow window(120, 90);
    ASSERT_TRUE(window.valid());
    ColourBarPicture bars(63, 37);
    Render render = makeRender(window.handle(), 63, 37);
    render->RenderPicture(&bars.picture());
    int width = 0;
    int height = 0;
    const std::vector<uint8_t> pixels = window.read(&width, &height);
    ASSERT_FALSE(pixels.empty());
    bars.expectShownIn(pixels.data(), width * 4, width, height);
}

TEST(D3DRender, OpenMakesTheDeviceAndSurfacesDirect3DWays) {
    FakeDirect3D9 fake;
    HWND window = reinterpret_cast<HWND>(0x5000);
    const std::string hwnd = FakeDirect3D9::text(window);
    {
        int32_t opened = -1;
        Render render = makeRender(window, 64, 48, 3, &opened);
        EXPECT_EQ(0, opened);
        const std::vector<std::string> expected = {
            "Direct3DCreate9 32",
            "d3d1.CreateDevice 0 1 " + hwnd +
                " 0x20 {64x48 format=0 count=1 multisample=0,0 swap=1 window=null windowed=1 "
                "depth=0,0 flags=0 refresh=0 interval=0}",
            "device1.GetBackBuffer 0 0 0",
            "device1.CreateOffscreenPlainSurface 64 48 0x32315659 0 null"};
        EXPECT_EQ(expected, fake.takeCalls());
    }
    EXPECT_TRUE(containsInOrder(fake.takeCalls(), {"surface1.Released", "device1.Released",
                                                   "backbuffer1.Released", "d3d1.Released"}));
}

TEST(D3DRender, OpenStopsAtTheFirstFailureAndKeepsWhatItMade) {
    FakeDirect3D9 fake;
    HWND window = reinterpret_cast<HWND>(0x5000);
    fake.failNext("CreateOffscreenPlainSurface", D3DERR_OUTOFVIDEOMEMORY);
    int32_t opened = 0;
    Render render = makeRender(window, 64, 48, 3, &opened);
    EXPECT_EQ(1, opened);
    fake.takeCalls();
    ColourBarPicture bars(64, 48);
    render->RenderPicture(&bars.picture());
    EXPECT_TRUE(fake.takeCalls().empty());  // no surface: nothing is drawn
    render.reset();
    EXPECT_TRUE(containsInOrder(fake.takeCalls(), {"device1.Released", "d3d1.Released"}));
}

TEST(D3DRender, DrawStepWritesYv12ThenStretchesAndPresents) {
    FakeDirect3D9 fake;
    HWND window = reinterpret_cast<HWND>(0x5000);
    ColourBarPicture bars(63, 37);
    Render render = makeRender(window, 63, 37);
    fake.takeCalls();
    render->RenderPicture(&bars.picture());
    const std::vector<std::string> expected = {
        "surface1.LockRect null 0x4000",
        "surface1.UnlockRect",
        "device1.Clear 0 null 0x1 0xff000000 1 0",
        "device1.BeginScene",
        "device1.StretchRect surface1 null backbuffer1 null 2",
        "device1.EndScene",
        "device1.Present null null null null"};
    EXPECT_EQ(expected, fake.takeCalls());

    // Luma rows of width bytes, then V and U at half pitch: 31 bytes for 18 rows.
    const FakeD3DObject* surface = fake.object("surface1");
    const uint8_t* bits = surface->memory();
    const size_t pitch = static_cast<size_t>(surface->pitch());
    const VideoPicture& picture = bars.picture();
    for (int row = 0; row < 37; ++row) {
        EXPECT_EQ(0,
                  std::memcmp(bits + row * pitch, picture.data[0] + row * picture.linesize[0], 63));
        EXPECT_EQ(0, bits[row * pitch + 63]);  // nothing past the row
    }
    const uint8_t* vPlane = bits + pitch * 37;
    const uint8_t* uPlane = vPlane + (pitch * 37) / 4;
    for (int row = 0; row < 18; ++row) {
        EXPECT_EQ(0, std::memcmp(vPlane + row * pitch / 2,
                                 picture.data[2] + row * picture.linesize[2], 31));
        EXPECT_EQ(0, std::memcmp(uPlane + row * pitch / 2,
                                 picture.data[1] + row * picture.linesize[1], 31));
    }
}

TEST(D3DRender, BusyOrFailingStepsDropTheFrameSilently) {
    FakeDirect3D9 fake;
    ColourBarPicture bars(32, 16);
    Render render = makeRender(reinterpret_cast<HWND>(0x5000), 32, 16);
    fake.takeCalls();

    fake.failNext("LockRect", D3DERR_WASSTILLDRAWING);
    EXPECT_EQ(0, render->RenderPicture(&bars.picture()));
    EXPECT_EQ(std::vector<std::string>{"surface1.LockRect null 0x4000"}, fake.takeCalls());

    fake.failNext("Clear", E_FAIL);
    render->RenderPicture(&bars.picture());
    const std::vector<std::string> calls = fake.takeCalls();
    EXPECT_EQ("device1.Clear 0 null 0x1 0xff000000 1 0", calls.back());

    // Failures other than a lost device at Present are ignored.
    fake.failNext("Present", E_FAIL);
    render->RenderPicture(&bars.picture());
    fake.takeCalls();
    render->RenderPicture(&bars.picture());
    EXPECT_EQ("surface1.LockRect null 0x4000", fake.takeCalls().front());
}

TEST(D3DRender, LostDeviceWaitsThenResetsWithTheKeptParameters) {
    ManualTimeSource time;
    FakeDirect3D9 fake;
    HWND window = reinterpret_cast<HWND>(0x5000);
    ColourBarPicture bars(32, 16);
    Render render = makeRender(window, 32, 16);
    fake.failNext("Present", D3DERR_DEVICELOST);
    render->RenderPicture(&bars.picture());
    fake.takeCalls();

    // Still lost: after the wait the frame is drawn on the lost device.
    fake.failNext("TestCooperativeLevel", D3DERR_DEVICELOST);
    fake.failNext("Present", D3DERR_DEVICELOST);
    render->RenderPicture(&bars.picture());
    std::vector<std::string> calls = fake.takeCalls();
    EXPECT_EQ("device1.TestCooperativeLevel", calls.front());
    EXPECT_EQ("surface1.LockRect null 0x4000", calls[1]);
    EXPECT_EQ(50u, time.sleptMs());

    fake.failNext("TestCooperativeLevel", D3DERR_DEVICENOTRESET);
    render->RenderPicture(&bars.picture());
    calls = fake.takeCalls();
    const std::vector<std::string> reset = {
        "device1.TestCooperativeLevel",
        "surface1.Released",
        "device1.Reset {32x16 format=0 count=1 multisample=0,0 swap=1 window=null windowed=1 "
        "depth=0,0 flags=0 refresh=0 interval=0}",
        "device1.GetBackBuffer 0 0 0",
        "device1.CreateOffscreenPlainSurface 32 16 0x32315659 0 null",
        "surface2.LockRect null 0x4000"};
    EXPECT_EQ(reset, std::vector<std::string>(calls.begin(), calls.begin() + 6));
    EXPECT_EQ(100u, time.sleptMs());

    render->RenderPicture(&bars.picture());
    EXPECT_EQ("surface2.LockRect null 0x4000", fake.takeCalls().front());
    EXPECT_EQ(100u, time.sleptMs());
}

TEST(D3DRender, AFailedResetLeavesTheRendererDark) {
    ManualTimeSource time;
    FakeDirect3D9 fake;
    ColourBarPicture bars(32, 16);
    Render render = makeRender(reinterpret_cast<HWND>(0x5000), 32, 16);
    fake.failNext("Present", D3DERR_DEVICELOST);
    render->RenderPicture(&bars.picture());
    fake.failNext("TestCooperativeLevel", D3DERR_DEVICENOTRESET);
    fake.failNext("Reset", D3DERR_DEVICELOST);
    render->RenderPicture(&bars.picture());
    fake.takeCalls();
    // The surfaces went with the reset: later frames touch nothing, but are still copied.
    render->RenderPicture(&bars.picture());
    EXPECT_TRUE(fake.takeCalls().empty());
    std::vector<uint8_t> plane(64 * 16);
    VideoPicture copy{{plane.data(), plane.data(), plane.data()}, {0, 0, 0}, 0};
    EXPECT_EQ(0, render->GetLastPicture(&copy));
}

TEST(D3DRender, AnotherPixelFormatTouchesNoDirect3D) {
    FakeDirect3D9 fake;
    int32_t opened = 0;
    Render render = makeRender(reinterpret_cast<HWND>(0x5000), 32, 16, 5, &opened);
    EXPECT_EQ(1, opened);
    ColourBarPicture bars(32, 16);
    EXPECT_EQ(0, render->RenderPicture(&bars.picture()));
    EXPECT_TRUE(fake.calls().empty());
}
