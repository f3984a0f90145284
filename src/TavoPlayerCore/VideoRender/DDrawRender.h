#pragma once

#include <cstdint>

#include "Platform/DirectDraw.h"
#include "TavoPlayerCore/VideoRender/CLastPictureCopy.h"
#include "TavoPlayerCore/VideoRender/IVideoRender.h"

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
class DDrawRender : public IVideoRender {
public:
    DDrawRender();
    ~DDrawRender() override;

    DDrawRender(const DDrawRender&) = delete;
    DDrawRender& operator=(const DDrawRender&) = delete;

    // 0, or -1 at the first failure (the objects made so far stay until Close).
    int32_t Open() override;
    int32_t Close() override;
    int32_t SetWindow(HWND window, uint32_t extra) override;
    int32_t Reserved1(uint32_t) override { return 0; }
    int32_t SetFormat(uint32_t width, uint32_t height, uint32_t pixelFormat) override;
    int32_t Reserved2() override { return 0; }
    int32_t Reserved3() override { return 0; }
    int32_t Reserved4() override { return 0; }
    int32_t Reserved5() override { return 0; }
    int32_t Reserved6(uint32_t, uint32_t, uint32_t) override { return 0; }
    // Always 0, whatever the draw step achieved.
    int32_t RenderPicture(const VideoPicture* picture) override;
    int32_t RepaintLastPicture() override;
    int32_t Reserved7(uint32_t) override { return 0; }
    int32_t Reserved8(uint32_t) override { return 0; }
    int32_t GetLastPicture(VideoPicture* target) override;
    int32_t Reserved9(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { return 0; }
    int32_t Reserved10(uint32_t) override { return 0; }
    void StoreValuePair(uint32_t, int32_t) override {}
    void LoadValuePair(uint32_t*, int32_t*) override {}
    void SetRefClock(CMediaRefClock*) override {}
    int32_t Reserved11() override { return 0; }
    void SetHostPair(void*, void*) override {}
    int32_t Reserved12() override { return 0; }
    int32_t Reserved13() override { return 0; }
    void SetWindowScaling(uint8_t) override {}
    void SetFloatOption(float) override {}

private:
    // Writes picture into the offscreen surface and blits it onto the window.
    void drawPicture(const VideoPicture& picture);
    HRESULT lockOffscreenSurface();
    void copyPlanes(const VideoPicture& picture);
    // Releases the DirectDraw objects, handing the cooperative level back first.
    void releaseObjects();

    IDirectDraw7* m_directDraw;
    IDirectDrawSurface7* m_primarySurface;    // the screen, with the window's clipper
    IDirectDrawSurface7* m_offscreenSurface;  // width x height, "YV12"
    DDSURFACEDESC2 m_primaryDesc;
    DDSURFACEDESC2 m_offscreenDesc;  // each lock puts the pitch and pixel address here
    HWND m_window;
    CLastPictureCopy m_lastPicture;  // with m_lock, made by a successful Open
    uint32_t m_height;
    uint32_t m_width;
    uint32_t m_pixelFormat;
};
