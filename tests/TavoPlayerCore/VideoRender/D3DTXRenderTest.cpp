#include "TavoPlayerCore/VideoRender/D3DTXRender.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Platform/D3D9/Direct3D9ForTesting.h"
#include "support/ColourBarPicture.h"
#include "support/FakeDirect3D9.h"
#include "support/OffscreenTestWindow.h"
#include "support/ScopedDirect3D9Faults.h"
#include "support/X11TestWindow.h"
#include "support/XvfbServer.h"
#include "tavoplayer/TavoOffscreenWindow.h"

namespace {

using Render = std::unique_ptr<IVideoRender>;

Render makeRender(HWND window, int width, int height) {
    IVideoRender* render = nullptr;
    EXPECT_TRUE(createD3DTXRender(&render));
    render->SetWindow(window, 0);
    EXPECT_EQ(0, render->SetFormat(width, height, 3));
    return Render(render);
}

Direct3D9Faults pixelShaderVersion(DWORD version) {
    Direct3D9Faults faults;
    faults.pixelShaderVersion = version;
    return faults;
}

// The quad's corner positions as written into a fake vertex buffer.
std::vector<float> quadCorners(const FakeD3DObject* vertexBuffer) {
    std::vector<float> corners;
    for (int vertex = 0; vertex < 4; ++vertex) {
        float xy[2];
        std::memcpy(xy, vertexBuffer->memory() + vertex * 44, sizeof(xy));
        corners.push_back(xy[0]);
        corners.push_back(xy[1]);
    }
    return corners;
}

// Calls whose text contains part.
size_t countCalls(const std::vector<std::string>& calls, const std::string& part) {
    return static_cast<size_t>(std::count_if(calls.begin(), calls.end(), [&](const std::string& c) {
        return c.find(part) != std::string::npos;
    }));
}

}  // namespace

TEST(D3DTXRender, DrawsColourBarsOverTheWholeWindow) {
    struct Case {
        int pictureWidth, pictureHeight, windowWidth, windowHeight;
    };
    for (const Case& c : {Case{64, 48, 160, 120}, Case{64, 48, 40, 30}, Case{63, 37, 101, 71},
                          Case{63, 37, 31, 19}}) {
        SCOPED_TRACE(testing::Message() << c.pictureWidth << "x" << c.pictureHeight << " in "
                                        << c.windowWidth << "x" << c.windowHeight);
        OffscreenTestWindow window(c.windowWidth, c.windowHeight);
        ColourBarPicture bars(c.pictureWidth, c.pictureHeight);
        Render render = makeRender(window.handle(), c.pictureWidth, c.pictureHeight);
        EXPECT_EQ(0, render->RenderPicture(&bars.picture()));
        bars.expectShownIn(window);
    }
}

TEST(D3DTXRender, BothShaderVersionsDrawTheSameColours) {
    for (const DWORD version : {D3DPS_VERSION(2, 0), D3DPS_VERSION(3, 0)}) {
        SCOPED_TRACE(version);
        ScopedDirect3D9Faults faults(pixelShaderVersion(version));
        OffscreenTestWindow window(80, 60);
        ColourBarPicture bars(64, 48);
        Render render = makeRender(window.handle(), 64, 48);
        render->RenderPicture(&bars.picture());
        bars.expectShownIn(window);
    }
}

TEST(D3DTXRender, DevicesBelowPixelShader2DrawNothingButKeepTheCopy) {
    ScopedDirect3D9Faults faults(pixelShaderVersion(D3DPS_VERSION(1, 4)));
    OffscreenTestWindow window(40, 30);
    ColourBarPicture bars(32, 16);
    Render render = makeRender(window.handle(), 32, 16);
    EXPECT_EQ(0, render->RenderPicture(&bars.picture()));
    EXPECT_EQ(0, render->RenderPicture(&bars.picture()));
    EXPECT_TRUE(window.isBlack());
    std::vector<uint8_t> plane(64 * 16);
    VideoPicture copy{{plane.data(), plane.data(), plane.data()}, {0, 0, 0}, 0};
    EXPECT_EQ(0, render->GetLastPicture(&copy));
}

TEST(D3DTXRender, FollowsTheWindowSizeAndRepaints) {
    OffscreenTestWindow window(64, 48);
    ColourBarPicture bars(64, 48);
    Render render = makeRender(window.handle(), 64, 48);
    EXPECT_EQ(0, render->RepaintLastPicture());
    render->RenderPicture(&bars.picture());
    bars.expectShownIn(window);

    tavoResizeOffscreenWindow(window.handle(), 150, 75);
    render->RenderPicture(&bars.picture());
    bars.expectShownIn(window);

    tavoResizeOffscreenWindow(window.handle(), 150, 75);  // same size, black again
    EXPECT_EQ(0, render->RepaintLastPicture());
    bars.expectShownIn(window);
}

TEST(D3DTXRender, ZeroSizedWindowDrawsNothingButKeepsTheCopy) {
    OffscreenTestWindow window(0, 0);
    ColourBarPicture bars(32, 16);
    Render render = makeRender(window.handle(), 32, 16);
    EXPECT_EQ(0, render->RenderPicture(&bars.picture()));
    EXPECT_EQ(0, render->RepaintLastPicture());
    std::vector<uint8_t> planes[3];
    VideoPicture copy{};
    for (int i = 0; i < 3; ++i) {
        planes[i].resize(static_cast<size_t>(bars.picture().linesize[i]) * 16);
        copy.data[i] = planes[i].data();
    }
    ASSERT_EQ(0, render->GetLastPicture(&copy));
    EXPECT_EQ(0, std::memcmp(planes[2].data(), bars.picture().data[2],
                             static_cast<size_t>(copy.linesize[2]) * 8));

    tavoResizeOffscreenWindow(window.handle(), 50, 40);
    render->RepaintLastPicture();
    bars.expectShownIn(window);
}

TEST(D3DTXRender, WindowScalingDrawsTheSameColours) {
    OffscreenTestWindow window(90, 70);
    ColourBarPicture bars(64, 48);
    Render render = makeRender(window.handle(), 64, 48);
    render->SetWindowScaling(1);
    render->RenderPicture(&bars.picture());
    bars.expectShownIn(window);
}

TEST(D3DTXRender, RecoversFromALostDevice) {
    OffscreenTestWindow window(48, 32);
    ColourBarPicture bars(32, 16);
    Render render = makeRender(window.handle(), 32, 16);
    render->RenderPicture(&bars.picture());
    tavoResizeOffscreenWindow(window.handle(), 48, 32);  // black, same size

    loseNextPresentForTesting(1);
    render->RenderPicture(&bars.picture());  // lost at present
    render->RenderPicture(&bars.picture());  // still lost: skipped
    EXPECT_TRUE(window.isBlack());
    render->RenderPicture(&bars.picture());  // resettable: made again
    bars.expectShownIn(window);
}

TEST(D3DTXRender, DrawsIntoAnX11Window) {
    XvfbServer server;
    ASSERT_TRUE(server.started());
    X11TestWindow window(121, 91);
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

TEST(D3DTXRender, SeveralRenderersDrawOnTheirOwnThreads) {
    constexpr int kRenderers = 3;
    ColourBarPicture bars(48, 32);
    std::vector<OffscreenTestWindow> windows;
    std::vector<Render> renders;
    for (int i = 0; i < kRenderers; ++i) {
        windows.emplace_back(40 + 8 * i, 30);
        renders.push_back(makeRender(windows.back().handle(), 48, 32));
    }
    std::vector<std::thread> threads;
    for (int i = 0; i < kRenderers; ++i) {
        threads.emplace_back([&, i] {
            for (int frame = 0; frame < 3; ++frame) {
                renders[i]->RenderPicture(&bars.picture());
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int i = 0; i < kRenderers; ++i) {
        SCOPED_TRACE(i);
        bars.expectShownIn(windows[i]);
    }
}

TEST(D3DTXRender, FirstPictureMakesEverythingThenDrawsTheQuad) {
    FakeDirect3D9 fake;
    OffscreenTestWindow window(80, 60);
    const std::string hwnd = FakeDirect3D9::text(window.handle());
    ColourBarPicture bars(64, 48);
    Render render = makeRender(window.handle(), 64, 48);
    EXPECT_TRUE(fake.calls().empty());  // Open makes no device
    render->RenderPicture(&bars.picture());
    const std::vector<std::string> expected = {
        "Direct3DCreate9 32",
        "d3d1.GetDeviceCaps 0 1",
        "d3d1.CreateDevice 0 1 " + hwnd +
            " 0x40 {0x0 format=0 count=2 multisample=0,0 swap=1 window=null windowed=1 "
            "depth=0,0 flags=0 refresh=0 interval=0}",
        "device1.GetSwapChain 0",
        "device1.GetDeviceCaps",
        "device1.CreatePixelShader ps_3_0",
        "device1.SetPixelShaderConstantF 0 1 1,0,0,0",
        "device1.CreateVertexBuffer 176 0x208 0x344 0 null",
        "vb1.Lock 0 0 0x0",
        "vb1.Unlock",
        "device1.CreateTexture 64 48 1 0x200 50 0 null",
        "device1.CreateTexture 32 24 1 0x200 50 0 null",
        "device1.CreateTexture 32 24 1 0x200 50 0 null",
        "texture1.LockRect 0 null 0x2000",
        "texture2.LockRect 0 null 0x2000",
        "texture3.LockRect 0 null 0x2000",
        "texture1.UnlockRect 0",
        "texture2.UnlockRect 0",
        "texture3.UnlockRect 0",
        "swapchain1.GetBackBuffer 0 0",
        "device1.SetRenderTarget 0 backbuffer1",
        "device1.BeginScene",
        "device1.SetFVF 0x344",
        "device1.SetSamplerState 0 6 3",
        "device1.SetSamplerState 0 5 3",
        "device1.SetSamplerState 0 7 3",
        "device1.SetPixelShader shader1",
        "device1.SetTexture 0 texture1",
        "device1.SetTexture 1 texture2",
        "device1.SetTexture 2 texture3",
        "device1.SetStreamSource 0 vb1 0 44",
        "device1.DrawPrimitive 6 0 2",
        "device1.EndScene",
        "swapchain1.Present null null " + hwnd + " null 0x0"};
    EXPECT_EQ(expected, fake.takeCalls());

    // The planes land row by row at the textures' pitches.
    const FakeD3DObject* u = fake.object("texture2");
    for (int row = 0; row < 24; ++row) {
        EXPECT_EQ(0, std::memcmp(u->memory() + row * u->pitch(),
                                 bars.picture().data[1] + row * bars.picture().linesize[1], 32));
    }
    // Every vertex is white and carries its texture coordinates in all three sets.
    const FakeD3DObject* vertices = fake.object("vb1");
    const float coordinates[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int vertex = 0; vertex < 4; ++vertex) {
        const uint8_t* at = vertices->memory() + vertex * 44;
        float zRhw[2];
        DWORD diffuse = 0;
        std::memcpy(zRhw, at + 8, sizeof(zRhw));
        std::memcpy(&diffuse, at + 16, sizeof(diffuse));
        EXPECT_EQ(0.0f, zRhw[0]);
        EXPECT_EQ(1.0f, zRhw[1]);
        EXPECT_EQ(0xFFFFFFFFu, diffuse);
        for (int set = 0; set < 3; ++set) {
            float uv[2];
            std::memcpy(uv, at + 20 + set * 8, sizeof(uv));
            EXPECT_EQ(coordinates[vertex][0], uv[0]);
            EXPECT_EQ(coordinates[vertex][1], uv[1]);
        }
    }
}

TEST(D3DTXRender, QuadFollowsTheEvenClientSize) {
    FakeDirect3D9 fake;
    OffscreenTestWindow window(641, 361);
    ColourBarPicture bars(32, 16);
    Render render = makeRender(window.handle(), 32, 16);
    render->RenderPicture(&bars.picture());
    EXPECT_EQ((std::vector<float>{-0.5f, -0.5f, 641.5f, -0.5f, 641.5f, 361.5f, -0.5f, 361.5f}),
              quadCorners(fake.object("vb1")));
    fake.takeCalls();

    tavoResizeOffscreenWindow(window.handle(), 642, 362);  // same even size: same device
    render->RenderPicture(&bars.picture());
    EXPECT_EQ(0u, countCalls(fake.takeCalls(), "d3d1.CreateDevice"));

    tavoResizeOffscreenWindow(window.handle(), 643, 362);  // 644 x 362: made again
    render->RenderPicture(&bars.picture());
    const std::vector<std::string> calls = fake.takeCalls();
    EXPECT_TRUE(containsInOrder(
        calls,
        {"texture1.Released", "texture2.Released", "texture3.Released", "vb1.Released",
         "shader1.Released", "device1.Released", "d3d1.CreateDevice", "device2.GetSwapChain 0"}))
        << "device objects are released in order, the Direct3D object stays";
    EXPECT_EQ(0u, countCalls(calls, "Direct3DCreate9"));
    EXPECT_EQ((std::vector<float>{-0.5f, -0.5f, 643.5f, -0.5f, 643.5f, 361.5f, -0.5f, 361.5f}),
              quadCorners(fake.object("vb2")));
}

TEST(D3DTXRender, PixelShaderVersionPicksTheProgram) {
    for (const DWORD version : {D3DPS_VERSION(3, 0), D3DPS_VERSION(2, 0), D3DPS_VERSION(2, 1)}) {
        SCOPED_TRACE(version);
        FakeDirect3D9 fake;
        fake.deviceCaps.PixelShaderVersion = version;
        OffscreenTestWindow window(40, 30);
        ColourBarPicture bars(32, 16);
        Render render = makeRender(window.handle(), 32, 16);
        render->RenderPicture(&bars.picture());
        const std::string program = version >= D3DPS_VERSION(3, 0) ? "ps_3_0" : "ps_2_0";
        EXPECT_TRUE(containsInOrder(
            fake.calls(), {"device1.CreatePixelShader " + program,
                           "device1.SetPixelShaderConstantF 0 1 1,0,0,0", "swapchain1.Present"}));
    }
}

TEST(D3DTXRender, DevicesThatCannotRunTheShaderAreMadeAgainEveryStep) {
    FakeDirect3D9 fake;
    fake.deviceCaps.PixelShaderVersion = D3DPS_VERSION(1, 4);
    OffscreenTestWindow window(40, 30);
    ColourBarPicture bars(32, 16);
    Render render = makeRender(window.handle(), 32, 16);
    for (int step = 0; step < 2; ++step) {
        render->RenderPicture(&bars.picture());
        const std::vector<std::string> calls = fake.takeCalls();
        EXPECT_GE(countCalls(calls, "Direct3DCreate9"), 1u);
        EXPECT_EQ(0u, countCalls(calls, "device1.CreatePixelShader"));
        EXPECT_EQ(0u, countCalls(calls, "device1.CreateTexture"));
        EXPECT_EQ(0u, countCalls(calls, "swapchain1.Present"));
    }
}

TEST(D3DTXRender, AdapterCapabilitiesDecideTheDevice) {
    OffscreenTestWindow window(40, 30);
    ColourBarPicture bars(32, 16);
    {
        FakeDirect3D9 fake;
        fake.adapterCaps.Caps2 = 0;  // no dynamic textures: no device, ever
        Render render = makeRender(window.handle(), 32, 16);
        render->RenderPicture(&bars.picture());
        render->RenderPicture(&bars.picture());
        EXPECT_EQ(0u, countCalls(fake.calls(), "CreateDevice"));
        EXPECT_GE(countCalls(fake.calls(), "GetDeviceCaps 0 1"), 2u);
    }
    {
        FakeDirect3D9 fake;
        fake.adapterCapsResult = D3DERR_NOTAVAILABLE;  // unknown: software vertex processing
        Render render = makeRender(window.handle(), 32, 16);
        render->RenderPicture(&bars.picture());
        EXPECT_EQ(1u, countCalls(fake.calls(), "d3d1.CreateDevice 0 1 " +
                                                   FakeDirect3D9::text(window.handle()) + " 0x20"));
    }
}

TEST(D3DTXRender, LostDeviceIsMadeAgainOnceItCanBeReset) {
    FakeDirect3D9 fake;
    OffscreenTestWindow window(40, 30);
    ColourBarPicture bars(32, 16);
    Render render = makeRender(window.handle(), 32, 16);
    fake.failNext("Present", D3DERR_DEVICELOST);
    render->RenderPicture(&bars.picture());
    fake.takeCalls();

    fake.failNext("TestCooperativeLevel", D3DERR_DEVICELOST);
    render->RenderPicture(&bars.picture());
    EXPECT_EQ(std::vector<std::string>{"device1.TestCooperativeLevel"}, fake.takeCalls());

    fake.failNext("TestCooperativeLevel", D3DERR_DEVICENOTRESET);
    render->RenderPicture(&bars.picture());
    const std::vector<std::string> calls = fake.takeCalls();
    EXPECT_EQ("device1.TestCooperativeLevel", calls.front());
    EXPECT_TRUE(
        containsInOrder(calls, {"device1.Released", "d3d1.GetDeviceCaps 0 1", "d3d1.CreateDevice",
                                "texture4.LockRect 0 null 0x2000", "swapchain2.Present"}));

    render->RenderPicture(&bars.picture());
    EXPECT_EQ("texture4.LockRect 0 null 0x2000", fake.takeCalls().front());
}

TEST(D3DTXRender, WindowScalingTakesEffectAtTheNextSizeChange) {
    FakeDirect3D9 fake;
    OffscreenTestWindow window(100, 80);
    ColourBarPicture bars(64, 48);
    Render render = makeRender(window.handle(), 64, 48);
    render->RenderPicture(&bars.picture());
    render->SetWindowScaling(1);
    fake.takeCalls();
    render->RenderPicture(&bars.picture());
    EXPECT_EQ(0u, countCalls(fake.takeCalls(), "device1.CreateTexture"));

    tavoResizeOffscreenWindow(window.handle(), 121, 91);
    render->RenderPicture(&bars.picture());
    EXPECT_TRUE(
        containsInOrder(fake.takeCalls(), {"device2.CreateTexture 122 92 1 0x200 50 0 null",
                                           "device2.CreateTexture 61 46 1 0x200 50 0 null",
                                           "device2.CreateTexture 61 46 1 0x200 50 0 null"}));
    // The planes were scaled: the white and red bars sit where the quad puts them.
    const FakeD3DObject* y = fake.object("texture4");
    EXPECT_NEAR(235, y->memory()[20 * y->pitch() + 7], 2);
    EXPECT_NEAR(81, y->memory()[70 * y->pitch() + 99], 2);
}

TEST(D3DTXRender, PlaneCopiesNeverPassTheTextures) {
    // Window scaling switched on, then the device remade without a size
    // change: the textures take the quad size but there is no scaling context.
    FakeDirect3D9 fake;
    OffscreenTestWindow window(20, 16);
    ColourBarPicture bars(64, 48);
    Render render = makeRender(window.handle(), 64, 48);
    render->RenderPicture(&bars.picture());
    render->SetWindowScaling(1);
    fake.failNext("Present", D3DERR_DEVICELOST);
    render->RenderPicture(&bars.picture());
    render->RenderPicture(&bars.picture());
    EXPECT_TRUE(containsInOrder(
        fake.calls(), {"device2.CreateTexture 20 16 1 0x200 50 0 null",
                       "device2.CreateTexture 10 8 1 0x200 50 0 null", "swapchain2.Present"}));
    const FakeD3DObject* y = fake.object("texture4");
    for (int row = 0; row < 16; ++row) {
        EXPECT_EQ(0, std::memcmp(y->memory() + row * y->pitch(),
                                 bars.picture().data[0] + row * bars.picture().linesize[0], 20));
    }
    // FakeDirect3D9 checks at its end that nothing was written past any texture.
}

TEST(D3DTXRender, ATextureThatWillNotLockDropsTheFrame) {
    FakeDirect3D9 fake;
    OffscreenTestWindow window(40, 30);
    ColourBarPicture bars(32, 16);
    Render render = makeRender(window.handle(), 32, 16);
    render->RenderPicture(&bars.picture());
    fake.takeCalls();
    fake.failNext("texture2.LockRect", D3DERR_WASSTILLDRAWING);
    EXPECT_EQ(0, render->RenderPicture(&bars.picture()));
    const std::vector<std::string> expected = {"texture1.LockRect 0 null 0x2000",
                                               "texture2.LockRect 0 null 0x2000",
                                               "texture1.UnlockRect 0"};
    EXPECT_EQ(expected, fake.takeCalls());
}

TEST(D3DTXRender, MinimisedWindowsTouchNoDirect3D) {
    FakeDirect3D9 fake;
    OffscreenTestWindow window(0, 30);
    ColourBarPicture bars(32, 16);
    Render render = makeRender(window.handle(), 32, 16);
    EXPECT_EQ(0, render->RenderPicture(&bars.picture()));
    EXPECT_EQ(0, render->RepaintLastPicture());
    EXPECT_TRUE(fake.calls().empty());
    std::vector<uint8_t> plane(64 * 16);
    VideoPicture copy{{plane.data(), plane.data(), plane.data()}, {0, 0, 0}, 0};
    EXPECT_EQ(0, render->GetLastPicture(&copy));
}
