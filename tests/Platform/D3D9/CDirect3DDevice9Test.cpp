#include "Platform/D3D9/CDirect3DDevice9.h"

#include <gtest/gtest.h>

#include <vector>

#include "Platform/D3D9/Direct3D9.h"
#include "Platform/D3D9/Direct3D9ForTesting.h"
#include "support/OffscreenTestWindow.h"

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

}  // namespace

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
