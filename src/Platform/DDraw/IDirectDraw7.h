#pragma once

#include "Platform/DDraw/DirectDrawTypes.h"

class IDirectDrawClipper;
class IDirectDrawSurface7;

// The DirectDraw 7 object: the display and the factory of surfaces and
// clippers. Reference counted; its surfaces and clippers live on their own
// references.
class IDirectDraw7 {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // Only the normal (windowed) level is offered: flags must contain
    // DDSCL_NORMAL and neither DDSCL_EXCLUSIVE nor DDSCL_FULLSCREEN.
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
    // Creates the primary surface (DDSCAPS_PRIMARYSURFACE) or an offscreen
    // plain surface (DDSCAPS_OFFSCREENPLAIN) of the FourCC "YV12". The
    // cooperative level must have been set; outer must be null.
    virtual HRESULT CreateSurface(DDSURFACEDESC2* description, IDirectDrawSurface7** surface,
                                  IUnknown* outer) = 0;
    // flags must be 0; outer must be null.
    virtual HRESULT CreateClipper(DWORD flags, IDirectDrawClipper** clipper, IUnknown* outer) = 0;

protected:
    virtual ~IDirectDraw7() = default;
};
