#include "Platform/D3D9/CDirect3DDevice9.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "Platform/D3D9/CPixelShaderProgram.h"
#include "Platform/D3D9/D3DX9.h"
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

// A real device drawing for an offscreen window of the back buffer's size.
class CDirect3DDevice9Test : public testing::Test {
protected:
    void open(UINT width, UINT height) {
        m_window.reset(new OffscreenTestWindow(static_cast<int>(width), static_cast<int>(height)));
        m_direct3D = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(nullptr, m_direct3D);
        // Zero sizes: the back buffer takes the window's client size.
        D3DPRESENT_PARAMETERS parameters = windowed(0, 0);
        ASSERT_EQ(D3D_OK, m_direct3D->CreateDevice(0, D3DDEVTYPE_HAL, m_window->handle(),
                                                   D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters,
                                                   &m_device));
        ASSERT_EQ(width, parameters.BackBufferWidth);
        ASSERT_EQ(height, parameters.BackBufferHeight);
    }

    void TearDown() override {
        if (m_device) {
            EXPECT_EQ(0u, m_device->Release());
        }
        if (m_direct3D) {
            m_direct3D->Release();
        }
    }

    // Presents and reads the window: RGBA, top row first.
    std::vector<uint8_t> presented() {
        EXPECT_EQ(D3D_OK, m_device->Present(nullptr, nullptr, nullptr, nullptr));
        int width = 0;
        int height = 0;
        return m_window->read(&width, &height);
    }

    IDirect3DPixelShader9* shader(const char* glsl,
                                  const std::vector<CPixelShaderProgram::Constant>& constants) {
        const std::vector<DWORD> tokens =
            CPixelShaderProgram(D3DPS_VERSION(2, 0), constants, glsl).tokens();
        IDirect3DPixelShader9* created = nullptr;
        EXPECT_EQ(D3D_OK, m_device->CreatePixelShader(tokens.data(), &created));
        return created;
    }

    IDirect3DVertexBuffer9* vertices(const std::vector<float>& data) {
        IDirect3DVertexBuffer9* buffer = nullptr;
        const UINT bytes = static_cast<UINT>(data.size() * sizeof(float));
        EXPECT_EQ(D3D_OK, m_device->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, 0,
                                                       D3DPOOL_DEFAULT, &buffer, nullptr));
        void* at = nullptr;
        EXPECT_EQ(D3D_OK, buffer->Lock(0, 0, &at, 0));
        std::memcpy(at, data.data(), bytes);
        EXPECT_EQ(D3D_OK, buffer->Unlock());
        return buffer;
    }

    std::unique_ptr<OffscreenTestWindow> m_window;
    IDirect3D9* m_direct3D = nullptr;
    IDirect3DDevice9* m_device = nullptr;
};

const uint8_t* pixel(const std::vector<uint8_t>& rgba, int width, int x, int y) {
    return &rgba[(static_cast<size_t>(y) * width + x) * 4];
}

const char kColourShader[] =
    "precision highp float;\n"
    "uniform vec4 colour;\n"
    "void main() { gl_FragColor = colour; }\n";

}  // namespace

TEST_F(CDirect3DDevice9Test, PreTransformedVerticesKeepDirect3DPixelCentres) {
    open(4, 4);
    // The colour's default, red, is loaded from the program's constant table.
    const std::vector<CPixelShaderProgram::Constant> constants = {
        {"colour", D3DXRS_FLOAT4, 0, 1, D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 4, {1, 0, 0, 1}}};
    IDirect3DPixelShader9* colour = shader(kColourShader, constants);
    ASSERT_NE(nullptr, colour);
    const std::vector<DWORD> tokens =
        CPixelShaderProgram(D3DPS_VERSION(2, 0), constants, kColourShader).tokens();
    ID3DXConstantTable* table = nullptr;
    ASSERT_EQ(D3D_OK, D3DXGetShaderConstantTable(tokens.data(), &table));
    // Corners half-way between pixel centres cover exactly pixels 1 and 2.
    IDirect3DVertexBuffer9* square = vertices({0.5f, 0.5f, 0, 1, 2.5f, 0.5f, 0, 1,  //
                                               2.5f, 2.5f, 0, 1, 0.5f, 2.5f, 0, 1});
    // The top row only: Direct3D's y grows downwards.
    IDirect3DVertexBuffer9* topRow = vertices({-0.5f, -0.5f, 0, 1, 3.5f, -0.5f, 0, 1,  //
                                               3.5f, 0.5f, 0, 1, -0.5f, 0.5f, 0, 1});
    const float green[4] = {0, 1, 0, 1};
    EXPECT_EQ(D3D_OK, m_device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0));
    EXPECT_EQ(D3D_OK, m_device->BeginScene());
    EXPECT_EQ(D3D_OK, m_device->SetFVF(D3DFVF_XYZRHW));
    EXPECT_EQ(D3D_OK, m_device->SetPixelShader(colour));
    EXPECT_EQ(D3D_OK, m_device->SetStreamSource(0, square, 0, 16));
    EXPECT_EQ(D3D_OK, table->SetDefaults(m_device));
    EXPECT_EQ(D3D_OK, m_device->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2));
    EXPECT_EQ(D3D_OK, m_device->SetStreamSource(0, topRow, 0, 16));
    EXPECT_EQ(D3D_OK, m_device->SetPixelShaderConstantF(0, green, 1));
    EXPECT_EQ(D3D_OK, m_device->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2));
    EXPECT_EQ(D3D_OK, m_device->EndScene());
    const std::vector<uint8_t> rgba = presented();
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            SCOPED_TRACE(testing::Message() << x << "," << y);
            const bool inSquare = x >= 1 && x <= 2 && y >= 1 && y <= 2;
            const uint8_t* p = pixel(rgba, 4, x, y);
            EXPECT_EQ(inSquare ? 255 : 0, p[0]);
            EXPECT_EQ(y == 0 ? 255 : 0, p[1]);
            EXPECT_EQ(0, p[2]);
            EXPECT_EQ(255, p[3]);  // back buffers keep no alpha
        }
    }
    table->Release();
    square->Release();
    topRow->Release();
    colour->Release();
}

TEST_F(CDirect3DDevice9Test, TexturesReachThePixelShaderTheDirect3DWay) {
    open(4, 4);
    IDirect3DPixelShader9* sampler = shader(
        "precision highp float;\n"
        "uniform sampler2D image;\n"
        "varying vec2 d3d_TexCoord0;\n"
        "void main() { gl_FragColor = vec4(texture2D(image, d3d_TexCoord0).r); }\n",
        {{"image", D3DXRS_SAMPLER, 0, 1, D3DXPC_OBJECT, D3DXPT_SAMPLER2D, 1, 1, {}}});
    ASSERT_NE(nullptr, sampler);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(D3D_OK, m_device->CreateTexture(2, 2, 1, D3DUSAGE_DYNAMIC, D3DFMT_L8, D3DPOOL_DEFAULT,
                                              &texture, nullptr));
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(D3D_OK, texture->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD));
    uint8_t* texels = static_cast<uint8_t*>(locked.pBits);
    texels[0] = 10;
    texels[1] = 200;
    texels[locked.Pitch] = 90;
    texels[locked.Pitch + 1] = 250;
    ASSERT_EQ(D3D_OK, texture->UnlockRect(0));
    // x, y, z, rhw, u, v
    IDirect3DVertexBuffer9* quad = vertices({-0.5f, -0.5f, 0, 1, 0, 0, 3.5f,  -0.5f, 0, 1, 1, 0,  //
                                             3.5f,  3.5f,  0, 1, 1, 1, -0.5f, 3.5f,  0, 1, 0, 1});
    EXPECT_EQ(D3D_OK, m_device->BeginScene());
    EXPECT_EQ(D3D_OK, m_device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1));
    EXPECT_EQ(D3D_OK, m_device->SetPixelShader(sampler));
    EXPECT_EQ(D3D_OK, m_device->SetTexture(0, texture));
    EXPECT_EQ(D3D_OK, m_device->SetStreamSource(0, quad, 0, 24));
    EXPECT_EQ(D3D_OK, m_device->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2));
    EXPECT_EQ(D3D_OK, m_device->EndScene());
    const std::vector<uint8_t> rgba = presented();
    // Point sampling (the default): one texel a quadrant, first row on top.
    EXPECT_EQ(10, pixel(rgba, 4, 0, 0)[0]);
    EXPECT_EQ(200, pixel(rgba, 4, 3, 0)[0]);
    EXPECT_EQ(90, pixel(rgba, 4, 0, 3)[0]);
    EXPECT_EQ(250, pixel(rgba, 4, 3, 3)[0]);
    quad->Release();
    texture->Release();
    sampler->Release();
}

TEST_F(CDirect3DDevice9Test, StretchRectConvertsYv12WithTheFilterAsked) {
    open(16, 2);
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(D3D_OK, m_device->CreateOffscreenPlainSurface(4, 2, D3DFMT_YV12, D3DPOOL_DEFAULT,
                                                            &surface, nullptr));
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(D3D_OK, surface->LockRect(&locked, nullptr, 0));
    uint8_t* bits = static_cast<uint8_t*>(locked.pBits);
    const size_t pitch = static_cast<size_t>(locked.Pitch);
    for (int row = 0; row < 2; ++row) {
        const uint8_t luma[4] = {16, 16, 235, 235};  // black | white
        std::memcpy(bits + row * pitch, luma, 4);
    }
    std::memset(bits + pitch * 2, 128, pitch / 2 * 2);  // V, then U: neutral
    ASSERT_EQ(D3D_OK, surface->UnlockRect());
    IDirect3DSurface9* backBuffer = nullptr;
    ASSERT_EQ(D3D_OK, m_device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer));

    ASSERT_EQ(D3D_OK, m_device->StretchRect(surface, nullptr, backBuffer, nullptr, D3DTEXF_POINT));
    std::vector<uint8_t> rgba = presented();
    EXPECT_EQ(0, pixel(rgba, 16, 7, 0)[0]);
    EXPECT_EQ(255, pixel(rgba, 16, 8, 1)[2]);

    ASSERT_EQ(D3D_OK, m_device->StretchRect(surface, nullptr, backBuffer, nullptr, D3DTEXF_LINEAR));
    rgba = presented();
    EXPECT_EQ(0, pixel(rgba, 16, 0, 0)[0]);
    EXPECT_GT(pixel(rgba, 16, 7, 0)[0], 20);
    EXPECT_LT(pixel(rgba, 16, 7, 0)[0], 235);
    EXPECT_EQ(255, pixel(rgba, 16, 15, 0)[0]);
    backBuffer->Release();
    surface->Release();
}

TEST_F(CDirect3DDevice9Test, LostDevicesAnswerLikeDirect3D) {
    open(8, 8);
    EXPECT_EQ(D3D_OK, m_device->TestCooperativeLevel());
    loseNextPresentForTesting(2);
    EXPECT_EQ(D3DERR_DEVICELOST, m_device->Present(nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(D3DERR_DEVICELOST, m_device->TestCooperativeLevel());
    EXPECT_EQ(D3DERR_DEVICELOST, m_device->TestCooperativeLevel());
    EXPECT_EQ(D3DERR_DEVICENOTRESET, m_device->TestCooperativeLevel());
    EXPECT_EQ(D3DERR_DEVICENOTRESET, m_device->TestCooperativeLevel());
    EXPECT_EQ(D3DERR_DEVICELOST, m_device->Present(nullptr, nullptr, nullptr, nullptr));
    // Drawing on a lost device succeeds and shows nothing.
    EXPECT_EQ(D3D_OK, m_device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0));

    // Reset waits until default-pool resources and back-buffer references are gone.
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(D3D_OK, m_device->CreateOffscreenPlainSurface(8, 8, D3DFMT_YV12, D3DPOOL_DEFAULT,
                                                            &surface, nullptr));
    D3DPRESENT_PARAMETERS parameters = windowed(8, 8);
    EXPECT_EQ(D3DERR_INVALIDCALL, m_device->Reset(&parameters));
    surface->Release();
    IDirect3DSurface9* backBuffer = nullptr;
    ASSERT_EQ(D3D_OK, m_device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer));
    EXPECT_EQ(D3DERR_INVALIDCALL, m_device->Reset(&parameters));
    backBuffer->Release();
    EXPECT_EQ(D3D_OK, m_device->Reset(&parameters));
    EXPECT_EQ(D3D_OK, m_device->TestCooperativeLevel());

    EXPECT_EQ(D3D_OK, m_device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0));
    const std::vector<uint8_t> rgba = presented();
    EXPECT_EQ(255, pixel(rgba, 8, 4, 4)[1]);
}
