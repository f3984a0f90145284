#pragma once

#include <GLES2/gl2.h>

#include <functional>
#include <memory>
#include <vector>

#include "Platform/D3D9/IDirect3DSwapChain9.h"
#include "Platform/Gles/CGlesContext.h"
#include "Platform/Win32/CRefCounted.h"
#include "Platform/X11/CX11Connection.h"

class CDirect3DSurface9;
class COffscreenWindow;

// The device's implicit swap chain: one back buffer (however many the
// parameters ask for, as the discard swap effect leaves their contents
// undefined anyway) and its presentation in windowed mode, scaled with
// linear filtering onto the whole client area of the window:
// - an X11 window: drawn on the window's EGL surface, then swapped;
// - an offscreen window: drawn into a framebuffer of the client size (or read
//   straight from the back buffer when the sizes match), read back and put
//   on screen with COffscreenWindow::present.
//
// With the discard swap effect, a frame for an X11 window whose client area
// has the back buffer's size is drawn straight into the window's own back
// buffer, and Present only swaps: Direct3D copies the back buffer to the
// window, but on a software rasteriser that copy is a second full-window
// draw that costs about as much as the frame itself.
class CDirect3DSwapChain9 : public CRefCounted<IDirect3DSwapChain9> {
public:
    CDirect3DSwapChain9(const std::shared_ptr<CGlesContext>& context, HWND window);

    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                    const RGNDATA* dirtyRegion, DWORD flags) override;
    HRESULT GetBackBuffer(UINT backBuffer, D3DBACKBUFFER_TYPE type,
                          IDirect3DSurface9** surface) override;

    // The device calls the next three holding the lock of the context it
    // shares with the swap chain; each checks that its caller does, as the
    // analysis cannot tie the device's context to this one.

    // Makes a new back buffer of the parameters' size and takes their swap
    // effect; false when it cannot be made.
    bool resize_Locked(const D3DPRESENT_PARAMETERS& parameters);
    // Binds the back buffer and runs draw, which draws into the viewport set
    // over all of it; bottomUp tells draw that the rows are stored bottom row
    // first (the window's own back buffer, see above).
    void drawToBackBuffer_Locked(const std::function<void(bool bottomUp)>& draw);
    // The back buffer, without a reference.
    CDirect3DSurface9* backBuffer_Locked() const;
    // True while someone other than the swap chain holds the back buffer.
    bool backBufferInUse_Locked() const;
    // Lets go of the back buffer and of the GL objects made for presenting
    // (before a Reset), in a scope of the context.
    void release();
    // The window presented to when Present names none.
    HWND window() const { return m_window; }

private:
    ~CDirect3DSwapChain9() override;

    // Inside a scope of the context.
    bool presentOffscreen_Locked(COffscreenWindow* window, int width, int height)
        REQUIRES(m_context->mutex());
    bool presentX11_Locked(unsigned long xid, int width, int height)
        REQUIRES(m_context->mutex(), CX11Connection::mutex());
    // Draws the frame into the window's back buffer when the window has the
    // back buffer's size; false when it did not.
    bool drawToWindow_Locked(unsigned long xid, const std::function<void(bool bottomUp)>& draw)
        REQUIRES(m_context->mutex(), CX11Connection::mutex());
    // Forgets the framebuffer made for presenting, deleting it when the
    // context is current.
    void releasePresentTarget_Locked(bool current) REQUIRES(m_context->mutex());

    const std::shared_ptr<CGlesContext> m_context;
    const HWND m_window;
    CDirect3DSurface9* m_backBuffer GUARDED_BY(m_context->mutex());
    bool m_discard GUARDED_BY(m_context->mutex());  // D3DSWAPEFFECT_DISCARD
    // The frame since the last Present was drawn into the window's back buffer.
    bool m_frameInWindow GUARDED_BY(m_context->mutex());
    GLuint m_presentTexture GUARDED_BY(m_context->mutex());
    GLuint m_presentFramebuffer GUARDED_BY(m_context->mutex());
    int m_presentWidth GUARDED_BY(m_context->mutex());
    int m_presentHeight GUARDED_BY(m_context->mutex());
    std::vector<uint8_t> m_pixels GUARDED_BY(m_context->mutex());
};
