#pragma once

#include "Platform/D3D9/Direct3D9.h"
#include "TavoPlayerCore/VideoRender/CVideoRenderBase.h"

// Shows pictures through Direct3D 9: each picture is written into a YV12
// offscreen surface of the picture's size, stretched onto a back buffer of
// the same size, and presented scaled onto the window's whole client area.
// The device is made by Open for the window known at that time.
//
// Threads: the player serialises every call with its video lock. No failure
// is reported: a failing step drops the frame.
class D3DRender : public CVideoRenderBase {
public:
    D3DRender();
    ~D3DRender() override;

    // 0, or 1 when the format is not 3, there is no window, or a Direct3D
    // object cannot be made (those made stay until Close).
    int32_t Open() override;
    int32_t Close() override;

private:
    // Writes the picture into the surface and presents it; stops silently at
    // the first failure.
    void draw(const VideoPicture& picture) override REQUIRES(m_lastPicture.lock());
    // After a lost device: waits 50 ms, then resets the device and remakes
    // its surfaces when it can be reset. True when that succeeded.
    bool ResetDevice();
    void releaseObjects();

    IDirect3D9* m_direct3D;
    IDirect3DDevice9* m_device;
    IDirect3DSurface9* m_surface;     // the YV12 offscreen surface
    IDirect3DSurface9* m_backBuffer;  // back buffer 0
    bool m_deviceLost;
    D3DPRESENT_PARAMETERS m_presentParameters;
    DWORD m_surfaceFourCC;
};
