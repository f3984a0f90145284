#pragma once

#include <cstdint>
#include <memory>

#include "Platform/DDraw/CDirectDrawSurface.h"
#include "Platform/DDraw/CYV12Scaler.h"
#include "Platform/X11/CX11WindowImage.h"

// The primary surface: the screen, addressed in screen coordinates. Its
// pixels are not in memory, so it cannot be locked; a blit from a YV12
// surface is scaled to the destination rectangle and put into the window of
// the attached clipper, the part outside that window being clipped away.
class CDirectDrawPrimarySurface : public CDirectDrawSurface {
public:
    CDirectDrawPrimarySurface();

    HRESULT Lock(RECT* rect, DDSURFACEDESC2* description, DWORD flags, HANDLE event) override;
    HRESULT Unlock(RECT* rect) override;
    // Takes a YV12 surface of this layer as the source and only the flags
    // DDBLT_WAIT, DDBLT_ASYNC and DDBLT_DONOTWAIT (the blit is done when Blt
    // returns). Without a clipper bound to a window there is nowhere to draw:
    // DDERR_NOCLIPLIST. An empty destination gives DDERR_INVALIDRECT; one
    // wholly outside the window draws nothing and succeeds.
    HRESULT Blt(RECT* destRect, IDirectDrawSurface7* source, RECT* sourceRect, DWORD flags,
                DDBLTFX* effects) override;

private:
    // Scales into m_rgba and hands the image to an offscreen window.
    HRESULT bltToOffscreenWindow(void* window, const YV12Image& image, const RECT& source,
                                 const RECT& destination);
    // Scales into the X11 image and puts its visible part into the window.
    HRESULT bltToX11Window(unsigned long window, const YV12Image& image, const RECT& source,
                           const RECT& destination, const RECT& visible);

    CYV12Scaler m_scaler;
    CX11WindowImage m_x11Image;
    std::unique_ptr<uint8_t[]> m_rgba;  // the scaled image for offscreen windows
    size_t m_rgbaCapacity;
};
