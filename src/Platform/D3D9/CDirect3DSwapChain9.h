#pragma once

#include <GLES2/gl2.h>

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

    // Makes a new back buffer; false when it cannot be made.
    bool resize_Locked(UINT width, UINT height);
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
    // Forgets the framebuffer made for presenting, deleting it when the
    // context is current.
    void releasePresentTarget_Locked(bool current) REQUIRES(m_context->mutex());

    const std::shared_ptr<CGlesContext> m_context;
    const HWND m_window;
    CDirect3DSurface9* m_backBuffer GUARDED_BY(m_context->mutex());
    GLuint m_presentTexture GUARDED_BY(m_context->mutex());
    GLuint m_presentFramebuffer GUARDED_BY(m_context->mutex());
    int m_presentWidth GUARDED_BY(m_context->mutex());
    int m_presentHeight GUARDED_BY(m_context->mutex());
    std::vector<uint8_t> m_pixels GUARDED_BY(m_context->mutex());
};
