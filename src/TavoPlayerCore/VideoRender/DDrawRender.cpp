#include "TavoPlayerCore/VideoRender/DDrawRender.h"

#include <cstring>

#include "Platform/Win32/ReleaseAndClear.h"
#include "Platform/X11/Win32Window.h"

namespace {

// The FourCC of a pixel-format code, or 0 for codes without one.
DWORD fourCCOf(uint32_t pixelFormat) {
    return pixelFormat == kPixelFormatYUV420 ? FOURCC_YV12 : 0;
}

// Copies rows of bytes from source rows sourceStride apart to destination
// rows destinationPitch apart; returns where the next destination row starts.
uint8_t* copyRows(uint8_t* destination, LONG destinationPitch, const uint8_t* source,
                  int32_t sourceStride, uint32_t rows, uint32_t bytes) {
    for (uint32_t row = 0; row < rows; ++row) {
        std::memcpy(destination, source, bytes);
        source += sourceStride;
        destination += destinationPitch;
    }
    return destination;
}

}  // namespace

bool createDDrawRender(IVideoRender** slot) {
    return createRenderInSlot<DDrawRender>(slot);
}

DDrawRender::DDrawRender()
    : m_directDraw(nullptr),
      m_primarySurface(nullptr),
      m_offscreenSurface(nullptr),
      m_primaryDesc{},
      m_offscreenDesc{} {}

DDrawRender::~DDrawRender() {
    Close();
}

int32_t DDrawRender::Open() {
    // A second Open starts over rather than leaking the first one's objects.
    releaseObjects();

    void* directDraw = nullptr;
    if (FAILED(DirectDrawCreateEx(nullptr, &directDraw, IID_IDirectDraw7, nullptr))) {
        return -1;
    }
    m_directDraw = static_cast<IDirectDraw7*>(directDraw);
    if (FAILED(m_directDraw->SetCooperativeLevel(m_window, DDSCL_NORMAL | DDSCL_NOWINDOWCHANGES))) {
        return -1;
    }

    m_primaryDesc = DDSURFACEDESC2{};
    m_primaryDesc.dwSize = DDSURFACEDESC2_SIZE;
    m_primaryDesc.dwFlags = DDSD_CAPS;
    m_primaryDesc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    IDirectDrawSurface7* primary = nullptr;
    if (FAILED(m_directDraw->CreateSurface(&m_primaryDesc, &primary, nullptr))) {
        return -1;
    }
    m_primarySurface = primary;

    IDirectDrawClipper* clipper = nullptr;
    if (FAILED(m_directDraw->CreateClipper(0, &clipper, nullptr))) {
        return -1;
    }
    if (FAILED(clipper->SetHWnd(0, m_window)) || FAILED(m_primarySurface->SetClipper(clipper))) {
        clipper->Release();
        return -1;
    }
    // The primary surface holds the clipper from here on.
    clipper->Release();

    const DWORD fourCC = fourCCOf(m_pixelFormat);
    if (fourCC == 0) {
        return -1;
    }
    m_offscreenDesc = DDSURFACEDESC2{};
    m_offscreenDesc.dwSize = DDSURFACEDESC2_SIZE;
    m_offscreenDesc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    m_offscreenDesc.dwHeight = m_height;
    m_offscreenDesc.dwWidth = m_width;
    m_offscreenDesc.ddpfPixelFormat.dwSize = DDPIXELFORMAT_SIZE;
    m_offscreenDesc.ddpfPixelFormat.dwFlags = DDPF_FOURCC | DDPF_YUV;
    m_offscreenDesc.ddpfPixelFormat.dwFourCC = fourCC;
    m_offscreenDesc.ddpfPixelFormat.dwYUVBitCount = 8;
    m_offscreenDesc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    IDirectDrawSurface7* offscreen = nullptr;
    if (FAILED(m_directDraw->CreateSurface(&m_offscreenDesc, &offscreen, nullptr))) {
        return -1;
    }
    m_offscreenSurface = offscreen;

    return 0;
}

int32_t DDrawRender::Close() {
    releaseObjects();
    m_lastPicture.release();
    return 0;
}

void DDrawRender::draw(const VideoPicture& picture) {
    if (!m_primarySurface || !m_offscreenSurface) {
        return;
    }
    if (lockOffscreenSurface() != DD_OK) {
        return;
    }
    if (m_offscreenDesc.lpSurface) {
        copyPlanes(picture);
    }
    m_offscreenSurface->Unlock(nullptr);

    RECT source{0, 0, static_cast<LONG>(m_width), static_cast<LONG>(m_height)};
    RECT client{};
    GetClientRect(m_window, &client);
    POINT topLeft{client.left, client.top};
    ClientToScreen(m_window, &topLeft);
    // The client area keeps its size on screen: one translation (a round
    // trip to the X server) instead of one per corner.
    RECT destination{topLeft.x, topLeft.y, topLeft.x + client.right - client.left,
                     topLeft.y + client.bottom - client.top};
    // A failed blit leaves the window as it was; lost surfaces are restored
    // at the start of the next draw step.
    m_primarySurface->Blt(&destination, m_offscreenSurface, &source, DDBLT_WAIT, nullptr);
}

HRESULT DDrawRender::lockOffscreenSurface() {
    const DWORD flags = DDLOCK_WAIT | DDLOCK_WRITEONLY;
    HRESULT result;
    do {
        if (m_primarySurface->IsLost() == DDERR_SURFACELOST) {
            m_primarySurface->Restore();
        }
        if (m_offscreenSurface->IsLost() == DDERR_SURFACELOST) {
            m_offscreenSurface->Restore();
        }
        result = m_offscreenSurface->Lock(nullptr, &m_offscreenDesc, flags, nullptr);
    } while (result == DDERR_WASSTILLDRAWING);
    if (result == DDERR_SURFACELOST) {
        m_offscreenSurface->Restore();
        result = m_offscreenSurface->Lock(nullptr, &m_offscreenDesc, flags, nullptr);
    }
    return result;
}

void DDrawRender::copyPlanes(const VideoPicture& picture) {
    const uint32_t width = m_offscreenDesc.dwWidth;
    const uint32_t height = m_offscreenDesc.dwHeight;
    const LONG pitch = m_offscreenDesc.lPitch;
    // YV12 keeps V before U; the destination runs on from plane to plane.
    uint8_t* destination = static_cast<uint8_t*>(m_offscreenDesc.lpSurface);
    destination = copyRows(destination, pitch, picture.data[0], picture.linesize[0], height, width);
    destination = copyRows(destination, pitch / 2, picture.data[2], picture.linesize[2], height / 2,
                           width / 2);
    copyRows(destination, pitch / 2, picture.data[1], picture.linesize[1], height / 2, width / 2);
}

void DDrawRender::releaseObjects() {
    releaseAndClear(&m_primarySurface);
    releaseAndClear(&m_offscreenSurface);
    if (m_directDraw) {
        m_directDraw->SetCooperativeLevel(m_window, DDSCL_NORMAL);
        m_directDraw->Release();
        m_directDraw = nullptr;
    }
}
