#include "Platform/D3D9/CDirect3DSwapChain9.h"

#include "Common/CAutoLock.h"
#include "Platform/D3D9/CDirect3DSurface9.h"
#include "Platform/D3D9/Direct3D9ForTesting.h"
#include "Platform/Gles/CGlesBlitter.h"
#include "Platform/Gles/CGlesContext.h"
#include "Platform/Win32/ReleaseAndClear.h"
#include "Platform/X11/COffscreenWindow.h"
#include "Platform/X11/CX11Connection.h"
#include "Platform/X11/Win32Window.h"

using RIVO_Common_Player::CAutoLock;

CDirect3DSwapChain9::CDirect3DSwapChain9(const std::shared_ptr<CGlesContext>& context, HWND window)
    : m_context(context),
      m_window(window),
      m_backBuffer(nullptr),
      m_discard(false),
      m_frameInWindow(false),
      m_presentTexture(0),
      m_presentFramebuffer(0),
      m_presentWidth(0),
      m_presentHeight(0) {}

CDirect3DSwapChain9::~CDirect3DSwapChain9() {
    release();
}

void CDirect3DSwapChain9::release() {
    CGlesContext::Scope scope(*m_context);
    releaseAndClear(&m_backBuffer);
    m_frameInWindow = false;
    releasePresentTarget_Locked(scope.current());
}

bool CDirect3DSwapChain9::resize_Locked(const D3DPRESENT_PARAMETERS& parameters) {
    m_context->mutex().assertHeld();
    CDirect3DSurface9* backBuffer = CDirect3DSurface9::createRenderTarget(
        m_context, parameters.BackBufferWidth, parameters.BackBufferHeight);
    if (!backBuffer) {
        return false;
    }
    if (m_backBuffer) {
        m_backBuffer->Release();
    }
    m_backBuffer = backBuffer;
    m_discard = parameters.SwapEffect == D3DSWAPEFFECT_DISCARD;
    m_frameInWindow = false;
    return true;
}

void CDirect3DSwapChain9::drawToBackBuffer_Locked(const std::function<void(bool bottomUp)>& draw) {
    m_context->mutex().assertHeld();
    unsigned long xid = 0;
    if (m_discard && m_context->isX11() && x11WindowId(m_window, &xid)) {
        // The scope of an X11 context holds the X lock.
        CX11Connection::mutex().assertHeld();
        m_frameInWindow = drawToWindow_Locked(xid, draw);
        if (m_frameInWindow) {
            return;
        }
    }
    m_backBuffer->bindAsTarget();
    draw(false);
}

bool CDirect3DSwapChain9::drawToWindow_Locked(unsigned long xid,
                                              const std::function<void(bool bottomUp)>& draw) {
    bool drawn = false;
    CX11Connection::instance().checked_Locked([&] {
        // The analysis does not carry this function's locks into the request.
        m_context->mutex().assertHeld();
        CX11Connection::mutex().assertHeld();
        const EGLSurface surface = m_context->windowSurface_Locked(xid);
        if (surface == EGL_NO_SURFACE || !m_context->bindSurface_Locked(surface)) {
            return false;
        }
        int width = 0;
        int height = 0;
        if (m_context->surfaceSize_Locked(surface, &width, &height) &&
            static_cast<UINT>(width) == m_backBuffer->width() &&
            static_cast<UINT>(height) == m_backBuffer->height()) {
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            glViewport(0, 0, width, height);
            draw(true);
            drawn = true;
        }
        // The window's back buffer keeps the frame until Present swaps it.
        m_context->bindSurface_Locked(EGL_NO_SURFACE);
        return drawn;
    });
    return drawn;
}

CDirect3DSurface9* CDirect3DSwapChain9::backBuffer_Locked() const {
    m_context->mutex().assertHeld();
    return m_backBuffer;
}

bool CDirect3DSwapChain9::backBufferInUse_Locked() const {
    m_context->mutex().assertHeld();
    return m_backBuffer && m_backBuffer->references() > 1;
}

HRESULT CDirect3DSwapChain9::GetBackBuffer(UINT backBuffer, D3DBACKBUFFER_TYPE type,
                                           IDirect3DSurface9** surface) {
    CAutoLock guard(&m_context->mutex());
    if (backBuffer != 0 || type != D3DBACKBUFFER_TYPE_MONO || !surface || !m_backBuffer) {
        return D3DERR_INVALIDCALL;
    }
    m_backBuffer->AddRef();
    *surface = m_backBuffer;
    return D3D_OK;
}

HRESULT CDirect3DSwapChain9::Present(const RECT* sourceRect, const RECT* destRect,
                                     HWND destWindowOverride, const RGNDATA*, DWORD) {
    if (sourceRect || destRect) {
        return D3DERR_INVALIDCALL;
    }
    const HWND window = destWindowOverride ? destWindowOverride : m_window;
    // The client size first: it takes the X lock that a scope also holds.
    RECT client{};
    if (!GetClientRect(window, &client)) {
        return D3DERR_INVALIDCALL;
    }
    CGlesContext::Scope scope(*m_context);
    if (m_context->isLost_Locked()) {
        return D3DERR_DEVICELOST;
    }
    UINT lostAnswers = 0;
    if (takePresentLossForTesting(&lostAnswers)) {
        m_context->markLost_Locked(lostAnswers);
        return D3DERR_DEVICELOST;
    }
    if (!scope.current() || m_context->contextLost_Locked()) {
        m_context->markLost_Locked(0);
        return D3DERR_DEVICELOST;
    }
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    if (width <= 0 || height <= 0) {
        return D3D_OK;  // nothing of the window is visible
    }
    if (!m_context->blitter_Locked()) {
        return D3DERR_DRIVERINTERNALERROR;
    }
    COffscreenWindow* offscreen = COffscreenWindow::fromHandle(window);
    unsigned long xid = 0;
    bool shown = false;
    if (offscreen) {
        shown = presentOffscreen_Locked(offscreen, width, height);
    } else if (m_context->isX11() && x11WindowId(window, &xid)) {
        // The scope of an X11 context holds the X lock.
        CX11Connection::mutex().assertHeld();
        shown = presentX11_Locked(xid, width, height);
    }
    if (m_context->contextLost_Locked()) {
        m_context->markLost_Locked(0);
        return D3DERR_DEVICELOST;
    }
    return shown ? D3D_OK : D3DERR_INVALIDCALL;
}

bool CDirect3DSwapChain9::presentOffscreen_Locked(COffscreenWindow* window, int width, int height) {
    if (static_cast<UINT>(width) == m_backBuffer->width() &&
        static_cast<UINT>(height) == m_backBuffer->height()) {
        m_backBuffer->bindAsTarget();
    } else {
        if (width != m_presentWidth || height != m_presentHeight) {
            releasePresentTarget_Locked(true);
            m_presentTexture = m_context->newTexture_Locked(GL_RGBA, width, height);
            glGenFramebuffers(1, &m_presentFramebuffer);
            glBindFramebuffer(GL_FRAMEBUFFER, m_presentFramebuffer);
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                                   m_presentTexture, 0);
            if (!m_presentTexture ||
                glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
                releasePresentTarget_Locked(true);
                return false;
            }
            m_presentWidth = width;
            m_presentHeight = height;
        }
        glBindFramebuffer(GL_FRAMEBUFFER, m_presentFramebuffer);
        glViewport(0, 0, width, height);
        const GLfloat whole[] = {0.0f, 0.0f, 1.0f, 1.0f};
        m_context->blitter_Locked()->drawRgba(m_backBuffer->colorTexture(), GL_LINEAR, whole);
    }
    m_pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4u);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, m_pixels.data());
    // A window resized since its size was read keeps its contents until the next Present.
    window->present(m_pixels.data(), width, height, width * 4);
    return true;
}

bool CDirect3DSwapChain9::presentX11_Locked(unsigned long xid, int width, int height) {
    unsigned long ownXid = 0;
    const bool frameInWindow = m_frameInWindow && x11WindowId(m_window, &ownXid) && ownXid == xid;
    m_frameInWindow = false;
    return CX11Connection::instance().checked_Locked([&] {
        // The analysis does not carry this function's locks into the request.
        m_context->mutex().assertHeld();
        CX11Connection::mutex().assertHeld();
        const EGLSurface surface = m_context->windowSurface_Locked(xid);
        if (surface == EGL_NO_SURFACE || !m_context->bindSurface_Locked(surface)) {
            return false;
        }
        if (!frameInWindow) {
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            glViewport(0, 0, width, height);
            // The window's rows run bottom to top.
            const GLfloat flipped[] = {0.0f, 1.0f, 1.0f, 0.0f};
            m_context->blitter_Locked()->drawRgba(m_backBuffer->colorTexture(), GL_LINEAR, flipped);
        }
        const bool swapped = m_context->swapBuffers_Locked(surface);
        m_context->bindSurface_Locked(EGL_NO_SURFACE);
        return swapped;
    });
}

void CDirect3DSwapChain9::releasePresentTarget_Locked(bool current) {
    if (current) {
        glDeleteFramebuffers(1, &m_presentFramebuffer);
        glDeleteTextures(1, &m_presentTexture);
    }
    m_presentFramebuffer = 0;
    m_presentTexture = 0;
    m_presentWidth = 0;
    m_presentHeight = 0;
}
