#include "TavoPlayerCore/VideoRender/D3DTXRender.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <new>

#include "Platform/Win32/ReleaseAndClear.h"
#include "Platform/X11/Win32Window.h"
#include "TavoPlayerCore/VideoRender/CD3DYUV420Shader.h"

namespace {

// The quad's vertex: D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX3.
constexpr DWORD kQuadFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX3;

struct QuadVertex {
    float x;
    float y;
    float z;
    float rhw;
    DWORD diffuse;
    float texture[3][2];  // Y, U and V sets
};
static_assert(sizeof(QuadVertex) == 44, "the quad's vertices are 44 bytes");

}  // namespace

bool createD3DTXRender(IVideoRender** slot) {
    return createRenderInSlot<D3DTXRender>(slot);
}

D3DTXRender::D3DTXRender()
    : m_clientRect{0, 0, 0, 0},
      m_direct3D(nullptr),
      m_device(nullptr),
      m_swapChain(nullptr),
      m_shader(nullptr),
      m_texCoords{{0.0f, 0.0f}, {1.0f, 0.0f}, {1.0f, 1.0f}, {0.0f, 1.0f}},
      m_positions{},
      m_vertexBuffer(nullptr),
      m_textures{nullptr, nullptr, nullptr},
      m_textureWidths{0, 0, 0},
      m_textureHeights{0, 0, 0},
      m_deviceLost(false),
      m_quadWidth(0),
      m_quadHeight(0),
      m_windowScaling(false),
      m_swsContext(nullptr) {}

D3DTXRender::~D3DTXRender() {
    Close();
}

// The device, shader and textures are made here, and a scene drawn that is
// never presented, before the first picture is due: made at its first draw
// (and the shader compiled there), they held that picture back from its
// sound by their set-up time (80 ms here on a software rasteriser, 200 ms
// in a fresh process). A failure here is tried again at every draw.
int32_t D3DTXRender::Open() {
    if (m_window && quadSizeChanged() && fullCreation()) {
        drawScene();
    }
    return 0;
}

bool D3DTXRender::quadSizeChanged() {
    GetClientRect(m_window, &m_clientRect);
    const LONG clientWidth = m_clientRect.right - m_clientRect.left;
    const LONG clientHeight = m_clientRect.bottom - m_clientRect.top;
    if (clientWidth <= 0 || clientHeight <= 0) {
        return false;  // minimised
    }
    const uint32_t quadWidth = (static_cast<uint32_t>(clientWidth) + 1) & ~1u;
    const uint32_t quadHeight = (static_cast<uint32_t>(clientHeight) + 1) & ~1u;
    if (quadWidth == m_quadWidth && quadHeight == m_quadHeight) {
        return false;
    }
    m_quadWidth = quadWidth;
    m_quadHeight = quadHeight;
    sws_freeContext(m_swsContext);
    m_swsContext = nullptr;
    if (m_windowScaling) {
        m_swsContext = sws_getContext(static_cast<int>(m_width), static_cast<int>(m_height),
                                      AV_PIX_FMT_YUV420P, static_cast<int>(quadWidth),
                                      static_cast<int>(quadHeight), AV_PIX_FMT_YUV420P,
                                      SWS_BILINEAR, nullptr, nullptr, nullptr);
    }
    return true;
}

int32_t D3DTXRender::Close() {
    fullRelease();
    m_lastPicture.release();
    sws_freeContext(m_swsContext);
    m_swsContext = nullptr;
    return 0;
}

void D3DTXRender::SetWindowScaling(uint8_t on) {
    m_windowScaling = on != 0;
}

void D3DTXRender::draw(const VideoPicture& picture) {
    bool sizeChanged = quadSizeChanged();
    if (m_clientRect.right <= m_clientRect.left || m_clientRect.bottom <= m_clientRect.top) {
        return;  // minimised
    }
    if (!m_direct3D) {
        fullCreation();
        sizeChanged = false;
    }
    // A creation that stopped half-way (a device without pixel shader 2.0,
    // say) counts as no device: every step tries the full creation again.
    if (!deviceObjectsReady() && !fullCreation()) {
        return;
    }
    if (!RecoverDevice()) {
        return;
    }
    if (sizeChanged) {
        ReleaseDeviceObjects();
        if (!CreateDeviceObjects()) {
            return;
        }
    }
    BYTE* bits[3] = {nullptr, nullptr, nullptr};
    int32_t pitches[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        D3DLOCKED_RECT locked{};
        if (FAILED(m_textures[i]->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD))) {
            // Leave no texture locked behind.
            for (int j = 0; j < i; ++j) {
                m_textures[j]->UnlockRect(0);
            }
            return;
        }
        bits[i] = static_cast<BYTE*>(locked.pBits);
        pitches[i] = locked.Pitch;
    }
    copyPlanes(picture, bits, pitches);
    for (int i = 0; i < 3; ++i) {
        if (FAILED(m_textures[i]->UnlockRect(0))) {
            return;
        }
    }
    DrawQuad();
}

void D3DTXRender::copyPlanes(const VideoPicture& picture, BYTE* const bits[3],
                             const int32_t pitches[3]) {
    if (m_swsContext) {
        // libswscale reads four plane pointers and strides.
        const uint8_t* const source[4] = {picture.data[0], picture.data[1], picture.data[2],
                                          nullptr};
        const int sourceStrides[4] = {picture.linesize[0], picture.linesize[1], picture.linesize[2],
                                      0};
        uint8_t* const target[4] = {bits[0], bits[1], bits[2], nullptr};
        const int targetStrides[4] = {pitches[0], pitches[1], pitches[2], 0};
        sws_scale(m_swsContext, source, sourceStrides, 0, static_cast<int>(m_height), target,
                  targetStrides);
        return;
    }
    for (int i = 0; i < 3; ++i) {
        const uint32_t rows = std::min(i == 0 ? m_height : m_height / 2, m_textureHeights[i]);
        const uint32_t bytes = std::min(i == 0 ? m_width : m_width / 2, m_textureWidths[i]);
        for (uint32_t row = 0; row < rows; ++row) {
            std::memcpy(bits[i] + static_cast<ptrdiff_t>(row) * pitches[i],
                        picture.data[i] + static_cast<ptrdiff_t>(row) * picture.linesize[i], bytes);
        }
    }
}

bool D3DTXRender::deviceObjectsReady() const {
    return m_device && m_swapChain && m_shader && m_vertexBuffer && m_textures[0] &&
           m_textures[1] && m_textures[2];
}

bool D3DTXRender::fullCreation() {
    fullRelease();
    m_direct3D = Direct3DCreate9(D3D_SDK_VERSION);
    if (!m_direct3D) {
        return false;
    }
    return CreateDeviceObjects();
}

void D3DTXRender::fullRelease() {
    ReleaseDeviceObjects();
    releaseAndClear(&m_direct3D);
}

bool D3DTXRender::CreateDeviceObjects() {
    if (!m_direct3D) {
        return false;
    }
    DWORD behaviorFlags = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    D3DCAPS9 caps{};
    if (SUCCEEDED(m_direct3D->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps))) {
        if (!(caps.Caps2 & D3DCAPS2_DYNAMICTEXTURES)) {
            return false;
        }
        if (caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) {
            behaviorFlags = D3DCREATE_HARDWARE_VERTEXPROCESSING;
        }
    }
    // Zero back-buffer sizes: the back buffer takes the window's client size.
    D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferFormat = D3DFMT_UNKNOWN;
    parameters.BackBufferCount = 2;
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.Windowed = TRUE;
    if (FAILED(m_direct3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, m_window, behaviorFlags,
                                        &parameters, &m_device)) ||
        FAILED(m_device->GetSwapChain(0, &m_swapChain))) {
        return false;
    }
    m_shader = new (std::nothrow) CD3DYUV420Shader();
    if (!m_shader || !m_shader->Create(m_device)) {
        return false;
    }
    const double right = static_cast<double>(m_quadWidth) - 0.5;
    const double bottom = static_cast<double>(m_quadHeight) - 0.5;
    const double corners[4][2] = {{-0.5, -0.5}, {right, -0.5}, {right, bottom}, {-0.5, bottom}};
    for (int i = 0; i < 4; ++i) {
        m_positions[i][0] = static_cast<float>(corners[i][0]);
        m_positions[i][1] = static_cast<float>(corners[i][1]);
        m_positions[i][2] = 0.0f;
        m_positions[i][3] = 1.0f;
    }
    void* data = nullptr;
    if (FAILED(m_device->CreateVertexBuffer(4 * sizeof(QuadVertex),
                                            D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, kQuadFvf,
                                            D3DPOOL_DEFAULT, &m_vertexBuffer, nullptr)) ||
        FAILED(m_vertexBuffer->Lock(0, 0, &data, 0))) {
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        QuadVertex vertex{};
        vertex.x = m_positions[i][0];
        vertex.y = m_positions[i][1];
        vertex.z = m_positions[i][2];
        vertex.rhw = m_positions[i][3];
        vertex.diffuse = 0xFFFFFFFF;
        for (float* set : vertex.texture) {
            set[0] = m_texCoords[i][0];
            set[1] = m_texCoords[i][1];
        }
        std::memcpy(static_cast<BYTE*>(data) + i * sizeof(QuadVertex), &vertex, sizeof(vertex));
    }
    if (FAILED(m_vertexBuffer->Unlock())) {
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        UINT width = m_windowScaling ? m_quadWidth : m_width;
        UINT height = m_windowScaling ? m_quadHeight : m_height;
        if (i > 0) {
            width /= 2;
            height /= 2;
        }
        if (FAILED(m_device->CreateTexture(width, height, 1, D3DUSAGE_DYNAMIC, D3DFMT_L8,
                                           D3DPOOL_DEFAULT, &m_textures[i], nullptr))) {
            return false;
        }
        m_textureWidths[i] = width;
        m_textureHeights[i] = height;
    }
    m_deviceLost = false;
    return true;
}

void D3DTXRender::ReleaseDeviceObjects() {
    for (int i = 0; i < 3; ++i) {
        releaseAndClear(&m_textures[i]);
        m_textureWidths[i] = 0;
        m_textureHeights[i] = 0;
    }
    releaseAndClear(&m_vertexBuffer);
    delete m_shader;
    m_shader = nullptr;
    releaseAndClear(&m_swapChain);
    releaseAndClear(&m_device);
}

bool D3DTXRender::RecoverDevice() {
    if (!m_deviceLost) {
        return true;
    }
    if (!m_device) {
        return false;
    }
    const HRESULT level = m_device->TestCooperativeLevel();
    if (level == D3DERR_DEVICENOTRESET || SUCCEEDED(level)) {
        ReleaseDeviceObjects();
        return CreateDeviceObjects();
    }
    return false;  // still lost: skip the frame and look again next time
}

void D3DTXRender::DrawQuad() {
    if (drawScene() &&
        m_swapChain->Present(nullptr, nullptr, m_window, nullptr, 0) == D3DERR_DEVICELOST) {
        m_deviceLost = true;
    }
}

bool D3DTXRender::drawScene() {
    IDirect3DSurface9* backBuffer = nullptr;
    if (SUCCEEDED(m_swapChain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &backBuffer))) {
        m_device->SetRenderTarget(0, backBuffer);
    }
    bool drawn = SUCCEEDED(m_device->BeginScene()) && SUCCEEDED(m_device->SetFVF(kQuadFvf));
    if (drawn) {
        // Luma only; the chroma samplers keep the device's point sampling.
        // A luma texture of the quad's size is sampled at its texel centres,
        // where the anisotropic filter returns the texel itself: point
        // sampling then shows the same picture, and on a software rasteriser
        // it reads one texel a pixel instead of four.
        const bool texelPerPixel =
            m_textureWidths[0] == m_quadWidth && m_textureHeights[0] == m_quadHeight;
        const DWORD lumaFilter = texelPerPixel ? D3DTEXF_POINT : D3DTEXF_ANISOTROPIC;
        m_device->SetSamplerState(0, D3DSAMP_MINFILTER, lumaFilter);
        m_device->SetSamplerState(0, D3DSAMP_MAGFILTER, lumaFilter);
        m_device->SetSamplerState(0, D3DSAMP_MIPFILTER, lumaFilter);
        drawn = m_shader && m_shader->Apply(m_device, m_textures) &&
                SUCCEEDED(m_device->SetStreamSource(0, m_vertexBuffer, 0, sizeof(QuadVertex))) &&
                SUCCEEDED(m_device->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2)) &&
                SUCCEEDED(m_device->EndScene());
    }
    if (backBuffer) {
        backBuffer->Release();
    }
    return drawn;
}
