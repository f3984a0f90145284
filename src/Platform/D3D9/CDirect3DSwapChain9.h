#pragma once

#include <GLES2/gl2.h>

#include <memory>
#include <vector>

#include "Platform/D3D9/IDirect3DSwapChain9.h"
#include "Platform/Win32/CRefCounted.h"

class CDirect3DSurface9;
class CGlesContext;
class COffscreenWindow;

// The device's implicit swap chain: one back buffer (however many the
// parameters ask for, as the discard swap effect leaves their contents
// undefined anyway) and its presentation in windowed mode, scaled with
// linear filtering onto the whole client area of the window:
// - an X11 window: drawn on the window's EGL surface, then swapped;
// - an offscreen window: drawn into a framebuffer of the client size (or read
//   straight from the back buffer when the sizes match), read back and put
//   on screen with COffscreenWindow::present.
class CDirect3DSwapChain9 : public CRefCounted<IDirect3DSwapChain9> {
public:
    CDirect3DSwapChain9(const std::shared_ptr<CGlesContext>& context, HWND window);

    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                    const RGNDATA* dirtyRegion, DWORD flags) override;
    HRESULT GetBackBuffer(UINT backBuffer, D3DBACKBUFFER_TYPE type,
                          IDirect3DSurface9** surface) override;

    // Makes a new back buffer; false when it cannot be made. Callers hold
    // the context's mutex.
    bool resize(UINT width, UINT height);
    // Lets go of the back buffer and of the GL objects made for presenting
    // (before a Reset). Callers hold the context's mutex.
    void release();
    // The window presented to when Present names none.
    HWND window() const { return m_window; }
    // The back buffer, without a reference.
    CDirect3DSurface9* backBuffer() const { return m_backBuffer; }
    // True while someone other than the swap chain holds the back buffer.
    bool backBufferInUse() const;

private:
    ~CDirect3DSwapChain9() override;

    // Inside a scope of the context.
    bool presentOffscreen(COffscreenWindow* window, int width, int height);
    bool presentX11(unsigned long xid, int width, int height);
    // Forgets the framebuffer made for presenting, deleting it when the
    // context is current.
    void releasePresentTarget(bool current);

    const std::shared_ptr<CGlesContext> m_context;
    const HWND m_window;
    // Guarded by the context's mutex from here on.
    CDirect3DSurface9* m_backBuffer;
    GLuint m_presentTexture;
    GLuint m_presentFramebuffer;
    int m_presentWidth;
    int m_presentHeight;
    std::vector<uint8_t> m_pixels;
};
