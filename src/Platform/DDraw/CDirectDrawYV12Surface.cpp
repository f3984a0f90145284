#include "Platform/DDraw/CDirectDrawYV12Surface.h"

#include <cstring>
#include <new>

namespace {

constexpr uint8_t kBlackLuma = 16;
constexpr uint8_t kBlackChroma = 128;
// Slack after the planes: libswscale's vector code may read a little past
// the last sample of a row.
constexpr size_t kReadPadding = 64;

bool takeBusyLock(std::atomic<int>& busyLocks) {
    int busy = busyLocks.load(std::memory_order_relaxed);
    while (busy > 0 &&
           !busyLocks.compare_exchange_weak(busy, busy - 1, std::memory_order_relaxed)) {
    }
    return busy > 0;
}

}  // namespace

std::atomic<int> CDirectDrawYV12Surface::s_busyLocks{0};

CDirectDrawYV12Surface* CDirectDrawYV12Surface::create(const DDSURFACEDESC2& description) {
    const LONG pitch = static_cast<LONG>((description.dwWidth + 31u) & ~31u);
    const size_t lumaBytes = static_cast<size_t>(pitch) * description.dwHeight;
    const size_t chromaBytes = static_cast<size_t>(pitch / 2) * (description.dwHeight / 2);
    std::unique_ptr<uint8_t[]> pixels(new (std::nothrow)
                                          uint8_t[lumaBytes + 2 * chromaBytes + kReadPadding]);
    if (!pixels) {
        return nullptr;
    }
    std::memset(pixels.get(), kBlackLuma, lumaBytes);
    std::memset(pixels.get() + lumaBytes, kBlackChroma, 2 * chromaBytes + kReadPadding);
    return new (std::nothrow) CDirectDrawYV12Surface(description, std::move(pixels), pitch);
}

void CDirectDrawYV12Surface::simulateBusyLocks(int count) {
    s_busyLocks.store(count, std::memory_order_relaxed);
}

CDirectDrawYV12Surface::CDirectDrawYV12Surface(const DDSURFACEDESC2& description,
                                               std::unique_ptr<uint8_t[]> pixels, LONG pitch)
    : m_description(description), m_pixels(std::move(pixels)), m_pitch(pitch), m_locked(false) {}

HRESULT CDirectDrawYV12Surface::Lock(RECT* rect, DDSURFACEDESC2* description, DWORD flags,
                                     HANDLE event) {
    if (!description || description->dwSize != DDSURFACEDESC2_SIZE || event ||
        ((flags & DDLOCK_READONLY) && (flags & DDLOCK_WRITEONLY))) {
        return DDERR_INVALIDPARAMS;
    }
    if (lost()) {
        return DDERR_SURFACELOST;
    }
    if (takeBusyLock(s_busyLocks)) {
        return DDERR_WASSTILLDRAWING;
    }
    if (m_locked) {
        return DDERR_SURFACEBUSY;
    }
    size_t offset = 0;
    if (rect) {
        if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right ||
            rect->top >= rect->bottom || rect->right > static_cast<LONG>(m_description.dwWidth) ||
            rect->bottom > static_cast<LONG>(m_description.dwHeight)) {
            return DDERR_INVALIDRECT;
        }
        offset = static_cast<size_t>(rect->top) * m_pitch + rect->left;
    }
    *description = m_description;
    description->dwFlags |= DDSD_PITCH | DDSD_LPSURFACE;
    description->lPitch = m_pitch;
    description->lpSurface = m_pixels.get() + offset;
    m_locked = true;
    return DD_OK;
}

HRESULT CDirectDrawYV12Surface::Unlock(RECT*) {
    if (!m_locked) {
        return DDERR_NOTLOCKED;
    }
    m_locked = false;
    return DD_OK;
}

HRESULT CDirectDrawYV12Surface::Blt(RECT*, IDirectDrawSurface7*, RECT*, DWORD, DDBLTFX*) {
    return DDERR_UNSUPPORTED;
}

YV12Image CDirectDrawYV12Surface::image() const {
    const int width = static_cast<int>(m_description.dwWidth);
    const int height = static_cast<int>(m_description.dwHeight);
    const uint8_t* y = m_pixels.get();
    const uint8_t* v = y + static_cast<size_t>(m_pitch) * height;
    const uint8_t* u = v + static_cast<size_t>(m_pitch / 2) * (height / 2);
    return YV12Image{y, u, v, m_pitch, m_pitch / 2, width, height};
}
