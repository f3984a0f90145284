#pragma once

#include <cstdint>

#include "Platform/DDraw/DirectDraw.h"
#include "TavoPlayerCore/VideoRender/CVideoRenderBase.h"

// Shows pictures with DirectDraw 7 at the normal (windowed) cooperative
// level: each picture is written into a YV12 offscreen surface, which is then
// blitted, stretched, onto the primary surface at the window's client area in
// screen coordinates. A clipper bound to the window given before Open keeps
// the blit inside the window's visible part.
//
// Failures are silent: a renderer whose Open failed stays usable and draws
// nothing, and a draw step that fails leaves the window as it was. Busy
// surfaces are waited for; lost surfaces are restored by the next draw step.
// Calls are serialised by the player (see IVideoRender); the last-picture
// copy has a lock of its own for snapshots.
class DDrawRender : public CVideoRenderBase {
public:
    DDrawRender();
    ~DDrawRender() override;

    // 0, or -1 at the first failure (the objects made so far stay until Close).
    int32_t Open() override;
    int32_t Close() override;
    // This renderer keeps no value pair: storing does nothing and loading
    // leaves the targets untouched.
    void StoreValuePair(uint32_t, int32_t) override {}
    void LoadValuePair(uint32_t*, int32_t*) override {}

private:
    // Writes picture into the offscreen surface and blits it onto the window.
    void draw(const VideoPicture& picture) override REQUIRES(m_lastPicture.lock());
    HRESULT lockOffscreenSurface();
    void copyPlanes(const VideoPicture& picture);
    // Releases the DirectDraw objects, handing the cooperative level back first.
    void releaseObjects();

    IDirectDraw7* m_directDraw;
    IDirectDrawSurface7* m_primarySurface;    // the screen, with the window's clipper
    IDirectDrawSurface7* m_offscreenSurface;  // width x height, "YV12"
    DDSURFACEDESC2 m_primaryDesc;
    DDSURFACEDESC2 m_offscreenDesc;  // each lock puts the pitch and pixel address here
};
