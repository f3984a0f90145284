#pragma once

#include "Platform/DDraw/IDirectDraw7.h"
#include "Platform/Win32/CRefCounted.h"

// The DirectDraw object: checks descriptions the way DirectDraw does and
// makes the primary surface, YV12 offscreen surfaces and clippers.
class CDirectDraw7 : public CRefCounted<IDirectDraw7> {
public:
    CDirectDraw7();

    // The window must be null or one that exists (DDERR_INVALIDPARAMS otherwise).
    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override;
    HRESULT CreateSurface(DDSURFACEDESC2* description, IDirectDrawSurface7** surface,
                          IUnknown* outer) override;
    HRESULT CreateClipper(DWORD flags, IDirectDrawClipper** clipper, IUnknown* outer) override;

private:
    HRESULT createOffscreenSurface(const DDSURFACEDESC2& description,
                                   IDirectDrawSurface7** surface);

    bool m_levelSet;
};
