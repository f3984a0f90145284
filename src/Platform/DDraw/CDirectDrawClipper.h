#pragma once

#include "Platform/DDraw/IDirectDrawClipper.h"
#include "Platform/Win32/CRefCounted.h"

// A clipper that names the window a blit onto the primary surface goes to.
// The visible part of that window is worked out at each blit: by the X
// server for X11 windows, by the window's own size for offscreen windows.
class CDirectDrawClipper : public CRefCounted<IDirectDrawClipper> {
public:
    CDirectDrawClipper();

    // Only windows that exist (X11 windows of the library's display,
    // offscreen windows) can be bound; others give DDERR_INVALIDPARAMS.
    HRESULT SetHWnd(DWORD flags, HWND window) override;
    HRESULT GetHWnd(HWND* window) override;

private:
    HWND m_window;
};
