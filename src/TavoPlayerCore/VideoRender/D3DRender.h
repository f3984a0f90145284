#pragma once

#include "Platform/Direct3D9.h"
#include "TavoPlayerCore/VideoRender/CLastPictureCopy.h"
#include "TavoPlayerCore/VideoRender/IVideoRender.h"

// Shows pictures through Direct3D 9: each picture is written into a YV12
// offscreen surface of the picture's size, stretched onto a back buffer of
// the same size, and presented scaled onto the window's whole client area.
// The device is made by Open for the window known at that time.
//
// Threads: the player serialises every call with its video lock. No failure
// is reported: a failing step drops the frame.
class D3DRender : public IVideoRender {
public:
    D3DRender();
    ~D3DRender() override;

    D3DRender(const D3DRender&) = delete;
    D3DRender& operator=(const D3DRender&) = delete;

    // 0, or 1 when the format is not 3, there is no window, or a Direct3D
    // object cannot be made (those made stay until Close).
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
    int32_t RenderPicture(const VideoPicture* picture) override;
    int32_t RepaintLastPicture() override;
    int32_t Reserved7(uint32_t) override { return 0; }
    int32_t Reserved8(uint32_t) override { return 0; }
    int32_t GetLastPicture(VideoPicture* target) override;
    int32_t Reserved9(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { return 0; }
    int32_t Reserved10(uint32_t) override { return 0; }
    void StoreValuePair(uint32_t first, int32_t second) override;
    void LoadValuePair(uint32_t* first, int32_t* second) override;
    void SetRefClock(CMediaRefClock*) override {}
    int32_t Reserved11() override { return 0; }
    void SetHostPair(void*, void*) override {}
    int32_t Reserved12() override { return 0; }
    int32_t Reserved13() override { return 0; }
    void SetWindowScaling(uint8_t) override {}
    void SetFloatOption(float) override {}

private:
    // Writes the picture into the surface and presents it; stops silently at
    // the first failure.
    void draw(const VideoPicture& picture);
    // After a lost device: waits 50 ms, then resets the device and remakes
    // its surfaces when it can be reset. True when that succeeded.
    bool ResetDevice();
    void releaseObjects();

    IDirect3D9* m_direct3D;
    IDirect3DDevice9* m_device;
    IDirect3DSurface9* m_surface;     // the YV12 offscreen surface
    IDirect3DSurface9* m_backBuffer;  // back buffer 0
    uint32_t m_width;
    uint32_t m_height;
    uint32_t m_pixelFormat;
    HWND m_window;
    CLastPictureCopy m_lastPicture;  // with m_lock
    uint32_t m_valueFirst;
    int32_t m_valueSecond;
    bool m_deviceLost;
    D3DPRESENT_PARAMETERS m_presentParameters;
    DWORD m_surfaceFourCC;
};
