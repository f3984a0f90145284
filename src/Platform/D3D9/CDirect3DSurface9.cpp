#include "Platform/D3D9/CDirect3DSurface9.h"

#include <new>

#include "Common/CAutoLock.h"
#include "Platform/D3D9/Direct3D9ForTesting.h"
#include "Platform/Gles/CGlesContext.h"

using RIVO_Common_Player::CAutoLock;

CDirect3DSurface9* CDirect3DSurface9::createYv12(const std::shared_ptr<CGlesContext>& context,
                                                 UINT width, UINT height) {
    CDirect3DSurface9* surface =
        new (std::nothrow) CDirect3DSurface9(context, width, height, false);
    if (surface &&
        (!surface->m_textures[0] || !surface->m_textures[1] || !surface->m_textures[2])) {
        surface->Release();
        return nullptr;
    }
    return surface;
}

CDirect3DSurface9* CDirect3DSurface9::createRenderTarget(
    const std::shared_ptr<CGlesContext>& context, UINT width, UINT height) {
    CDirect3DSurface9* surface = new (std::nothrow) CDirect3DSurface9(context, width, height, true);
    if (surface && !surface->m_framebuffer) {
        surface->Release();
        return nullptr;
    }
    return surface;
}

CDirect3DSurface9::CDirect3DSurface9(const std::shared_ptr<CGlesContext>& context, UINT width,
                                     UINT height, bool renderTarget)
    : m_context(context),
      m_width(width),
      m_height(height),
      m_defaultPool(!renderTarget),
      m_pitch(0),
      m_textures{0, 0, 0},
      m_framebuffer(0),
      m_locked(false) {
    if (m_defaultPool) {
        ++m_context->defaultPoolResources();
    }
    CGlesContext::Scope scope(*m_context);
    if (!scope.current()) {
        return;
    }
    const int w = static_cast<int>(width);
    const int h = static_cast<int>(height);
    if (renderTarget) {
        m_textures[0] = m_context->newTexture_Locked(GL_RGBA, w, h);
        if (!m_textures[0]) {
            return;
        }
        glGenFramebuffers(1, &m_framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_textures[0],
                               0);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            glDeleteFramebuffers(1, &m_framebuffer);
            m_framebuffer = 0;
            return;
        }
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        return;
    }
    // Rows of 16-byte multiples, so that the chroma rows (half a pitch) stay
    // 8-byte aligned.
    m_pitch = static_cast<int>((width + 15) & ~15u);
    const size_t luma = static_cast<size_t>(m_pitch) * height;
    m_memory.assign(luma + luma / 4 + static_cast<size_t>(height / 2) * (m_pitch / 2), 0);
    m_textures[0] = m_context->newTexture_Locked(GL_LUMINANCE, w, h);
    m_textures[1] = m_context->newTexture_Locked(GL_LUMINANCE, w / 2, h / 2);
    m_textures[2] = m_context->newTexture_Locked(GL_LUMINANCE, w / 2, h / 2);
}

CDirect3DSurface9::~CDirect3DSurface9() {
    {
        CGlesContext::Scope scope(*m_context);
        if (scope.current()) {
            glDeleteFramebuffers(1, &m_framebuffer);
            glDeleteTextures(3, m_textures);
        }
    }
    if (m_defaultPool) {
        --m_context->defaultPoolResources();
    }
}

HRESULT CDirect3DSurface9::LockRect(D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD flags) {
    CAutoLock guard(&m_context->mutex());
    if (!lockedRect || rect || isRenderTarget() || m_locked) {
        return D3DERR_INVALIDCALL;
    }
    if ((flags & D3DLOCK_DONOTWAIT) && direct3D9FaultsForTesting().busySurfaces) {
        return D3DERR_WASSTILLDRAWING;
    }
    lockedRect->Pitch = m_pitch;
    lockedRect->pBits = m_memory.data();
    m_locked = true;
    return D3D_OK;
}

HRESULT CDirect3DSurface9::UnlockRect() {
    CGlesContext::Scope scope(*m_context);
    if (!m_locked) {
        return D3DERR_INVALIDCALL;
    }
    m_locked = false;
    if (!scope.current()) {
        return D3D_OK;
    }
    const int w = static_cast<int>(m_width);
    const int h = static_cast<int>(m_height);
    const size_t luma = static_cast<size_t>(m_pitch) * m_height;
    const BYTE* base = m_memory.data();
    m_context->uploadLuminance_Locked(m_textures[0], w, h, base, m_pitch);
    m_context->uploadLuminance_Locked(m_textures[2], w / 2, h / 2, base + luma, m_pitch / 2);
    m_context->uploadLuminance_Locked(m_textures[1], w / 2, h / 2, base + luma + luma / 4,
                                      m_pitch / 2);
    return D3D_OK;
}

bool CDirect3DSurface9::isLocked_Locked() const {
    m_context->mutex().assertHeld();
    return m_locked;
}

void CDirect3DSurface9::bindAsTarget() const {
    glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
    glViewport(0, 0, static_cast<GLsizei>(m_width), static_cast<GLsizei>(m_height));
}
