#include "TavoPlayerCore/VideoRender/D3DRender.h"

#include <cstring>

#include "Common/TimeFunctions.h"
#include "Platform/Win32/ReleaseAndClear.h"

bool createD3DRender(IVideoRender** slot) {
    return createRenderInSlot<D3DRender>(slot);
}

D3DRender::D3DRender()
    : m_direct3D(nullptr),
      m_device(nullptr),
      m_surface(nullptr),
      m_backBuffer(nullptr),
      m_deviceLost(false),
      m_presentParameters{},
      m_surfaceFourCC(0) {}

D3DRender::~D3DRender() {
    Close();
}

void D3DRender::releaseObjects() {
    releaseAndClear(&m_surface);
    releaseAndClear(&m_backBuffer);
    releaseAndClear(&m_device);
    releaseAndClear(&m_direct3D);
}

int32_t D3DRender::Open() {
    // A second Open replaces what the first one made.
    releaseObjects();
    m_surfaceFourCC = 0;
    if (m_pixelFormat != kPixelFormatYUV420) {
        return 1;
    }
    m_surfaceFourCC = D3DFMT_YV12;
    if (!m_window) {
        return 1;
    }
    m_direct3D = Direct3DCreate9(D3D_SDK_VERSION);
    if (!m_direct3D) {
        return 1;
    }
    m_presentParameters = D3DPRESENT_PARAMETERS{};
    m_presentParameters.BackBufferWidth = m_width;
    m_presentParameters.BackBufferHeight = m_height;
    m_presentParameters.BackBufferFormat = D3DFMT_UNKNOWN;
    m_presentParameters.BackBufferCount = 1;
    m_presentParameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    m_presentParameters.Windowed = TRUE;
    m_presentParameters.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
    if (FAILED(m_direct3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, m_window,
                                        D3DCREATE_SOFTWARE_VERTEXPROCESSING, &m_presentParameters,
                                        &m_device))) {
        return 1;
    }
    if (FAILED(m_device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &m_backBuffer))) {
        return 1;
    }
    if (FAILED(m_device->CreateOffscreenPlainSurface(m_width, m_height,
                                                     static_cast<D3DFORMAT>(m_surfaceFourCC),
                                                     D3DPOOL_DEFAULT, &m_surface, nullptr))) {
        return 1;
    }
    return 0;
}

int32_t D3DRender::Close() {
    releaseObjects();
    m_lastPicture.release();
    return 0;
}

void D3DRender::draw(const VideoPicture& picture) {
    if (!m_device) {
        return;
    }
    // A reset that failed left the device lost and without its surface;
    // every later picture tries again.
    if (m_deviceLost && ResetDevice()) {
        m_deviceLost = false;
    }
    if (!m_surface) {
        return;
    }
    D3DLOCKED_RECT locked{};
    if (FAILED(m_surface->LockRect(&locked, nullptr, D3DLOCK_DONOTWAIT))) {
        return;  // busy: the frame is dropped
    }
    // YV12: luma, then the V plane, then the U plane, chroma rows half a pitch.
    BYTE* const bits = static_cast<BYTE*>(locked.pBits);
    const size_t pitch = static_cast<size_t>(locked.Pitch);
    const size_t lumaBytes = pitch * m_height;
    for (uint32_t row = 0; row < m_height; ++row) {
        std::memcpy(bits + row * pitch,
                    picture.data[0] + static_cast<ptrdiff_t>(row) * picture.linesize[0], m_width);
    }
    BYTE* const vPlane = bits + lumaBytes;
    BYTE* const uPlane = bits + lumaBytes + lumaBytes / 4;
    for (uint32_t row = 0; row < m_height / 2; ++row) {
        std::memcpy(vPlane + row * (pitch / 2),
                    picture.data[2] + static_cast<ptrdiff_t>(row) * picture.linesize[2],
                    m_width / 2);
        std::memcpy(uPlane + row * (pitch / 2),
                    picture.data[1] + static_cast<ptrdiff_t>(row) * picture.linesize[1],
                    m_width / 2);
    }
    if (FAILED(m_surface->UnlockRect())) {
        return;
    }
    if (FAILED(m_device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0)) ||
        FAILED(m_device->BeginScene()) ||
        FAILED(m_device->StretchRect(m_surface, nullptr, m_backBuffer, nullptr, D3DTEXF_LINEAR)) ||
        FAILED(m_device->EndScene())) {
        return;
    }
    if (m_device->Present(nullptr, nullptr, nullptr, nullptr) == D3DERR_DEVICELOST) {
        m_deviceLost = true;
    }
}

bool D3DRender::ResetDevice() {
    RIVO_Common_Player::sleepMs(50);
    const HRESULT level = m_device->TestCooperativeLevel();
    if (SUCCEEDED(level) || level == D3DERR_DEVICELOST) {
        return false;
    }
    releaseAndClear(&m_backBuffer);
    releaseAndClear(&m_surface);
    if (FAILED(m_device->Reset(&m_presentParameters)) ||
        FAILED(m_device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &m_backBuffer)) ||
        FAILED(m_device->CreateOffscreenPlainSurface(m_width, m_height,
                                                     static_cast<D3DFORMAT>(m_surfaceFourCC),
                                                     D3DPOOL_DEFAULT, &m_surface, nullptr))) {
        return false;
    }
    return true;
}
