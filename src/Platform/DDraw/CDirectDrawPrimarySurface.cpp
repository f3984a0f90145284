#include "Platform/DDraw/CDirectDrawPrimarySurface.h"

#include <X11/Xlib.h>

#include <cstdint>
#include <new>

#include "Common/CScopedLock.h"
#include "Platform/DDraw/CDirectDrawYV12Surface.h"
#include "Platform/DDraw/IDirectDrawClipper.h"
#include "Platform/X11/COffscreenWindow.h"
#include "Platform/X11/CX11Connection.h"
#include "Platform/X11/Win32Window.h"

using RIVO_Common_Player::CScopedLock;

namespace {

constexpr DWORD kWaitFlags = DDBLT_WAIT | DDBLT_ASYNC | DDBLT_DONOTWAIT;
// Destinations beyond these are refused: no screen is that large, and the
// arithmetic on them stays far from overflowing.
constexpr LONG kMaxBltSize = 16384;
constexpr LONG kMaxCoordinate = 1 << 24;

bool isEmpty(const RECT& rect) {
    return rect.left >= rect.right || rect.top >= rect.bottom;
}

bool isReasonable(const RECT& rect) {
    for (LONG value : {rect.left, rect.top, rect.right, rect.bottom}) {
        if (value < -kMaxCoordinate || value > kMaxCoordinate) {
            return false;
        }
    }
    return rect.right - rect.left <= kMaxBltSize && rect.bottom - rect.top <= kMaxBltSize;
}

RECT intersection(const RECT& a, const RECT& b) {
    return RECT{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
                a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
}

// The primary surface's extent for window: the X screen for an X11 window,
// the window itself for an offscreen window.
bool screenRect(HWND window, RECT* rect) {
    if (COffscreenWindow::fromHandle(window)) {
        return GetClientRect(window, rect);
    }
    CX11Connection& x11 = CX11Connection::instance();
    CScopedLock lock(CX11Connection::mutex());
    Display* display = x11.display_Locked();
    if (!display) {
        return false;
    }
    const int screen = DefaultScreen(display);
    *rect = RECT{0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)};
    return true;
}

}  // namespace

CDirectDrawPrimarySurface::CDirectDrawPrimarySurface() : m_rgbaCapacity(0) {}

HRESULT CDirectDrawPrimarySurface::Lock(RECT*, DDSURFACEDESC2*, DWORD, HANDLE) {
    return DDERR_UNSUPPORTED;
}

HRESULT CDirectDrawPrimarySurface::Unlock(RECT*) {
    return DDERR_NOTLOCKED;
}

HRESULT CDirectDrawPrimarySurface::Blt(RECT* destRect, IDirectDrawSurface7* source,
                                       RECT* sourceRect, DWORD flags, DDBLTFX* effects) {
    if ((flags & ~kWaitFlags) != 0 || effects) {
        return DDERR_UNSUPPORTED;
    }
    CDirectDrawYV12Surface* yv12 = dynamic_cast<CDirectDrawYV12Surface*>(source);
    if (!yv12) {
        return DDERR_INVALIDPARAMS;
    }
    if (lost() || yv12->lost()) {
        return DDERR_SURFACELOST;
    }
    if (yv12->locked()) {
        return DDERR_SURFACEBUSY;
    }
    HWND window = nullptr;
    if (!clipper() || FAILED(clipper()->GetHWnd(&window)) || !window) {
        return DDERR_NOCLIPLIST;
    }

    const YV12Image image = yv12->image();
    const RECT from = sourceRect ? *sourceRect : RECT{0, 0, image.width, image.height};
    if (isEmpty(from) || from.left < 0 || from.top < 0 || from.right > image.width ||
        from.bottom > image.height) {
        return DDERR_INVALIDRECT;
    }
    RECT to{};
    if (destRect) {
        to = *destRect;
    } else if (!screenRect(window, &to)) {
        return DDERR_INVALIDCLIPLIST;
    }
    if (isEmpty(to) || !isReasonable(to)) {
        return DDERR_INVALIDRECT;
    }

    POINT origin{0, 0};
    RECT client{};
    if (!ClientToScreen(window, &origin) || !GetClientRect(window, &client)) {
        return DDERR_INVALIDCLIPLIST;
    }
    const RECT inWindow{to.left - origin.x, to.top - origin.y, to.right - origin.x,
                        to.bottom - origin.y};
    const RECT visible = intersection(inWindow, client);
    if (isEmpty(visible)) {
        return DD_OK;
    }
    if (COffscreenWindow::fromHandle(window)) {
        return bltToOffscreenWindow(window, image, from, inWindow);
    }
    return bltToX11Window(static_cast<unsigned long>(reinterpret_cast<uintptr_t>(window)), image,
                          from, inWindow, visible);
}

HRESULT CDirectDrawPrimarySurface::bltToOffscreenWindow(void* window, const YV12Image& image,
                                                        const RECT& source,
                                                        const RECT& destination) {
    const int width = destination.right - destination.left;
    const int height = destination.bottom - destination.top;
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4u;
    if (m_rgbaCapacity < bytes) {
        m_rgba.reset(new (std::nothrow) uint8_t[bytes]);
        m_rgbaCapacity = m_rgba ? bytes : 0;
        if (!m_rgba) {
            return DDERR_OUTOFMEMORY;
        }
    }
    if (!m_scaler.scale(image, source, AV_PIX_FMT_RGBA, m_rgba.get(), width * 4, width, height)) {
        return DDERR_GENERIC;
    }
    COffscreenWindow* offscreen = COffscreenWindow::fromHandle(window);
    if (!offscreen) {
        return DDERR_INVALIDCLIPLIST;
    }
    offscreen->presentAt(destination.left, destination.top, m_rgba.get(), width, height, width * 4);
    return DD_OK;
}

HRESULT CDirectDrawPrimarySurface::bltToX11Window(unsigned long window, const YV12Image& image,
                                                  const RECT& source, const RECT& destination,
                                                  const RECT& visible) {
    const int width = destination.right - destination.left;
    const int height = destination.bottom - destination.top;
    uint8_t* pixels = nullptr;
    int stride = 0;
    AVPixelFormat format = AV_PIX_FMT_NONE;
    if (!m_x11Image.prepare(window, width, height, &pixels, &stride, &format) ||
        !m_scaler.scale(image, source, format, pixels, stride, width, height) ||
        !m_x11Image.put(window, visible.left - destination.left, visible.top - destination.top,
                        visible.right - visible.left, visible.bottom - visible.top, visible.left,
                        visible.top)) {
        return DDERR_GENERIC;
    }
    return DD_OK;
}
