#include "Platform/D3D9/CDirect3DDevice9.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <vector>

#include "Platform/D3D9/CPixelShaderProgram.h"
#include "Platform/D3D9/Direct3D9.h"
#include "Platform/D3D9/Direct3D9ForTesting.h"
#include "support/OffscreenTestWindow.h"
#include "support/X11TestWindow.h"
#include "support/XvfbServer.h"

namespace {

D3DPRESENT_PARAMETERS windowed(UINT width, UINT height) {
    D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferWidth = width;
    parameters.BackBufferHeight = height;
    parameters.BackBufferCount = 1;
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.Windowed = TRUE;
    return parameters;
}

// A window of the client size 32x24 of one kind, and the back buffer drawn for it.
struct Target {
    const char* name;
    bool x11;
    UINT backBufferWidth;  // 0 and 0: the client size
    UINT backBufferHeight;
};

std::ostream& operator<<(std::ostream& out, const Target& target) {
    return out << target.name;
}

class TargetWindow {
public:
    explicit TargetWindow(bool x11) {
        if (x11) {
            m_server.reset(new XvfbServer(320, 240));
            m_x11.reset(new X11TestWindow(32, 24));
        } else {
            m_offscreen.reset(new OffscreenTestWindow(32, 24));
        }
    }
    bool valid() const { return m_offscreen || (m_server->started() && m_x11->valid()); }
    HWND handle() const { return m_offscreen ? m_offscreen->handle() : m_x11->handle(); }
    std::vector<uint8_t> read(int* width, int* height) const {
        return m_offscreen ? m_offscreen->read(width, height) : m_x11->read(width, height);
    }

private:
    std::unique_ptr<XvfbServer> m_server;
    std::unique_ptr<X11TestWindow> m_x11;
    std::unique_ptr<OffscreenTestWindow> m_offscreen;
};

class CDirect3DDevice9Target : public testing::TestWithParam<Target> {};

// Pre-transformed corners of a rectangle of pixels, as a triangle fan.
void writeQuad(IDirect3DVertexBuffer9* buffer, float left, float top, float right, float bottom) {
    const float vertices[4][4] = {{left - 0.5f, top - 0.5f, 0.0f, 1.0f},
                                  {right - 0.5f, top - 0.5f, 0.0f, 1.0f},
                                  {right - 0.5f, bottom - 0.5f, 0.0f, 1.0f},
                                  {left - 0.5f, bottom - 0.5f, 0.0f, 1.0f}};
    void* data = nullptr;
    ASSERT_EQ(D3D_OK, buffer->Lock(0, 0, &data, 0));
    std::memcpy(data, vertices, sizeof(vertices));
    ASSERT_EQ(D3D_OK, buffer->Unlock());
}

}  // namespace

// Clear, DrawPrimitive and StretchRect put their rectangles at the same
// places whether the frame goes into a framebuffer of the device's own
// (offscreen windows, a back buffer of another size than the window) or
// straight into an X11 window's back buffer, whose rows run bottom to top:
// red top left, blue top right, green bottom left, white bottom right.
TEST_P(CDirect3DDevice9Target, DrawsEachQuadrantInItsPlace) {
    TargetWindow window(GetParam().x11);
    ASSERT_TRUE(window.valid());
    IDirect3D9* direct3D = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(nullptr, direct3D);
    D3DPRESENT_PARAMETERS parameters =
        windowed(GetParam().backBufferWidth, GetParam().backBufferHeight);
    IDirect3DDevice9* device = nullptr;
    ASSERT_EQ(D3D_OK,
              direct3D->CreateDevice(0, D3DDEVTYPE_HAL, window.handle(),
                                     D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters, &device));
    const LONG w = static_cast<LONG>(parameters.BackBufferWidth);
    const LONG h = static_cast<LONG>(parameters.BackBufferHeight);

    IDirect3DSurface9* white = nullptr;
    ASSERT_EQ(D3D_OK, device->CreateOffscreenPlainSurface(8, 8, D3DFMT_YV12, D3DPOOL_DEFAULT,
                                                          &white, nullptr));
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(D3D_OK, white->LockRect(&locked, nullptr, 0));
    BYTE* bits = static_cast<BYTE*>(locked.pBits);
    std::memset(bits, 235, static_cast<size_t>(locked.Pitch) * 8);
    std::memset(bits + locked.Pitch * 8, 128, static_cast<size_t>(locked.Pitch) * 4);
    ASSERT_EQ(D3D_OK, white->UnlockRect());

    const CPixelShaderProgram green(
        D3DPS_VERSION(2, 0), {},
        "precision mediump float;\nvoid main() { gl_FragColor = vec4(0.0, 1.0, 0.0, 1.0); }\n");
    const std::vector<DWORD> tokens = green.tokens();
    IDirect3DPixelShader9* shader = nullptr;
    ASSERT_EQ(D3D_OK, device->CreatePixelShader(tokens.data(), &shader));
    IDirect3DVertexBuffer9* quad = nullptr;
    ASSERT_EQ(D3D_OK, device->CreateVertexBuffer(64, D3DUSAGE_WRITEONLY, D3DFVF_XYZRHW,
                                                 D3DPOOL_DEFAULT, &quad, nullptr));
    writeQuad(quad, 0.0f, static_cast<float>(h / 2), static_cast<float>(w / 2),
              static_cast<float>(h));

    EXPECT_EQ(D3D_OK, device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0));
    const D3DRECT topLeft{0, 0, w / 2, h / 2};
    EXPECT_EQ(D3D_OK, device->Clear(1, &topLeft, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0));
    EXPECT_EQ(D3D_OK, device->BeginScene());
    EXPECT_EQ(D3D_OK, device->SetFVF(D3DFVF_XYZRHW));
    EXPECT_EQ(D3D_OK, device->SetPixelShader(shader));
    EXPECT_EQ(D3D_OK, device->SetStreamSource(0, quad, 0, 16));
    EXPECT_EQ(D3D_OK, device->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2));
    EXPECT_EQ(D3D_OK, device->EndScene());
    IDirect3DSurface9* backBuffer = nullptr;
    ASSERT_EQ(D3D_OK, device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer));
    const RECT bottomRight{w / 2, h / 2, w, h};
    EXPECT_EQ(D3D_OK, device->StretchRect(white, nullptr, backBuffer, &bottomRight, D3DTEXF_POINT));
    EXPECT_EQ(D3D_OK, device->Present(nullptr, nullptr, nullptr, nullptr));

    int width = 0;
    int height = 0;
    const std::vector<uint8_t> rgba = window.read(&width, &height);
    ASSERT_EQ(32, width);
    ASSERT_EQ(24, height);
    const struct {
        int x;
        int y;
        uint8_t rgb[3];
    } quadrants[] = {
        {8, 6, {255, 0, 0}}, {24, 6, {0, 0, 255}}, {8, 18, {0, 255, 0}}, {24, 18, {255, 255, 255}}};
    for (const auto& quadrant : quadrants) {
        const uint8_t* pixel = &rgba[(static_cast<size_t>(quadrant.y) * 32 + quadrant.x) * 4];
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(quadrant.rgb[c], pixel[c], 2)
                << "channel " << c << " at " << quadrant.x << "," << quadrant.y;
        }
    }
    backBuffer->Release();
    quad->Release();
    shader->Release();
    white->Release();
    EXPECT_EQ(0u, device->Release());
    direct3D->Release();
}

INSTANTIATE_TEST_SUITE_P(Windows, CDirect3DDevice9Target,
                         testing::Values(Target{"Offscreen", false, 0, 0},
                                         Target{"X11OwnBackBuffer", true, 0, 0},
                                         Target{"X11ScaledBackBuffer", true, 16, 12}),
                         [](const testing::TestParamInfo<Target>& info) {
                             return info.param.name;
                         });

// A real device drawing for an offscreen window, lost and reset the way a
// renderer finds it.
TEST(CDirect3DDevice9, LostDevicesAnswerLikeDirect3D) {
    OffscreenTestWindow window(8, 8);
    IDirect3D9* direct3D = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(nullptr, direct3D);
    // Zero sizes: the back buffer takes the window's client size.
    D3DPRESENT_PARAMETERS parameters = windowed(0, 0);
    IDirect3DDevice9* device = nullptr;
    ASSERT_EQ(D3D_OK,
              direct3D->CreateDevice(0, D3DDEVTYPE_HAL, window.handle(),
                                     D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters, &device));
    EXPECT_EQ(8u, parameters.BackBufferWidth);
    EXPECT_EQ(8u, parameters.BackBufferHeight);
    EXPECT_EQ(D3D_OK, device->TestCooperativeLevel());
    loseNextPresentForTesting(2);
    EXPECT_EQ(D3DERR_DEVICELOST, device->Present(nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(D3DERR_DEVICELOST, device->TestCooperativeLevel());
    EXPECT_EQ(D3DERR_DEVICELOST, device->TestCooperativeLevel());
    EXPECT_EQ(D3DERR_DEVICENOTRESET, device->TestCooperativeLevel());
    EXPECT_EQ(D3DERR_DEVICENOTRESET, device->TestCooperativeLevel());
    EXPECT_EQ(D3DERR_DEVICELOST, device->Present(nullptr, nullptr, nullptr, nullptr));
    // Drawing on a lost device succeeds and shows nothing.
    EXPECT_EQ(D3D_OK, device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0));

    // Reset waits until default-pool resources and back-buffer references are gone.
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(D3D_OK, device->CreateOffscreenPlainSurface(8, 8, D3DFMT_YV12, D3DPOOL_DEFAULT,
                                                          &surface, nullptr));
    parameters = windowed(8, 8);
    EXPECT_EQ(D3DERR_INVALIDCALL, device->Reset(&parameters));
    surface->Release();
    IDirect3DSurface9* backBuffer = nullptr;
    ASSERT_EQ(D3D_OK, device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer));
    EXPECT_EQ(D3DERR_INVALIDCALL, device->Reset(&parameters));
    backBuffer->Release();
    EXPECT_EQ(D3D_OK, device->Reset(&parameters));
    EXPECT_EQ(D3D_OK, device->TestCooperativeLevel());

    EXPECT_EQ(D3D_OK, device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0));
    EXPECT_EQ(D3D_OK, device->Present(nullptr, nullptr, nullptr, nullptr));
    int width = 0;
    int height = 0;
    const std::vector<uint8_t> rgba = window.read(&width, &height);
    EXPECT_EQ(255, rgba[(4 * 8 + 4) * 4 + 1]);
    EXPECT_EQ(0u, device->Release());
    direct3D->Release();
}
