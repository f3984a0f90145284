#include "Platform/DDraw/CDirectDraw7.h"

#include <new>

#include "Platform/DDraw/CDirectDrawClipper.h"
#include "Platform/DDraw/CDirectDrawPrimarySurface.h"
#include "Platform/DDraw/CDirectDrawYV12Surface.h"
#include "Platform/X11/Win32Window.h"

CDirectDraw7::CDirectDraw7() : m_levelSet(false) {}

HRESULT CDirectDraw7::SetCooperativeLevel(HWND window, DWORD flags) {
    RECT client;
    if (!(flags & DDSCL_NORMAL) || (flags & (DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN)) ||
        (window && !GetClientRect(window, &client))) {
        return DDERR_INVALIDPARAMS;
    }
    m_levelSet = true;
    return DD_OK;
}

HRESULT CDirectDraw7::CreateSurface(DDSURFACEDESC2* description, IDirectDrawSurface7** surface,
                                    IUnknown* outer) {
    if (!description || !surface || description->dwSize != DDSURFACEDESC2_SIZE ||
        !(description->dwFlags & DDSD_CAPS)) {
        return DDERR_INVALIDPARAMS;
    }
    *surface = nullptr;
    if (outer) {
        return CLASS_E_NOAGGREGATION;
    }
    if (!m_levelSet) {
        return DDERR_NOCOOPERATIVELEVELSET;
    }
    const DWORD caps = description->ddsCaps.dwCaps;
    if (caps & DDSCAPS_PRIMARYSURFACE) {
        if (description->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT)) {
            return DDERR_INVALIDPARAMS;
        }
        *surface = new (std::nothrow) CDirectDrawPrimarySurface();
        return *surface ? DD_OK : DDERR_OUTOFMEMORY;
    }
    if (caps & DDSCAPS_OFFSCREENPLAIN) {
        return createOffscreenSurface(*description, surface);
    }
    return DDERR_INVALIDCAPS;
}

HRESULT CDirectDraw7::CreateClipper(DWORD flags, IDirectDrawClipper** clipper, IUnknown* outer) {
    if (!clipper || flags != 0) {
        return DDERR_INVALIDPARAMS;
    }
    *clipper = nullptr;
    if (outer) {
        return CLASS_E_NOAGGREGATION;
    }
    *clipper = new (std::nothrow) CDirectDrawClipper();
    return *clipper ? DD_OK : DDERR_OUTOFMEMORY;
}

HRESULT CDirectDraw7::createOffscreenSurface(const DDSURFACEDESC2& description,
                                             IDirectDrawSurface7** surface) {
    const DWORD required = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    if ((description.dwFlags & required) != required) {
        return DDERR_INVALIDPARAMS;
    }
    const DDPIXELFORMAT& format = description.ddpfPixelFormat;
    if (format.dwSize != DDPIXELFORMAT_SIZE || !(format.dwFlags & DDPF_FOURCC) ||
        format.dwFourCC != FOURCC_YV12) {
        return DDERR_INVALIDPIXELFORMAT;
    }
    if (description.dwWidth == 0 || description.dwHeight == 0) {
        return DDERR_INVALIDPARAMS;
    }
    if (description.dwWidth > CDirectDrawYV12Surface::kMaxSize ||
        description.dwHeight > CDirectDrawYV12Surface::kMaxSize) {
        return DDERR_TOOBIGSIZE;
    }
    *surface = CDirectDrawYV12Surface::create(description);
    return *surface ? DD_OK : DDERR_OUTOFMEMORY;
}
