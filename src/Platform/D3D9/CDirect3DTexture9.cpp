#include "Platform/D3D9/CDirect3DTexture9.h"

#include <new>

#include "Common/CAutoLock.h"
#include "Platform/D3D9/Direct3D9ForTesting.h"
#include "Platform/Gles/CGlesContext.h"

using RIVO_Common_Player::CAutoLock;

CDirect3DTexture9* CDirect3DTexture9::create(const std::shared_ptr<CGlesContext>& context,
                                             UINT width, UINT height, bool dynamic) {
    CDirect3DTexture9* texture =
        new (std::nothrow) CDirect3DTexture9(context, width, height, dynamic);
    if (texture && texture->m_texture == 0) {
        texture->Release();
        return nullptr;
    }
    return texture;
}

CDirect3DTexture9::CDirect3DTexture9(const std::shared_ptr<CGlesContext>& context, UINT width,
                                     UINT height, bool dynamic)
    : m_context(context),
      m_width(width),
      m_height(height),
      m_dynamic(dynamic),
      // Rows start on 4-byte boundaries, as drivers lay out L8 textures.
      m_pitch(static_cast<int>((width + 3) & ~3u)),
      m_texture(0),
      m_locked(false) {
    ++m_context->defaultPoolResources();
    CGlesContext::Scope scope(*m_context);
    if (scope.current()) {
        m_texture = m_context->newTexture_Locked(GL_LUMINANCE, static_cast<int>(width),
                                                 static_cast<int>(height));
    }
}

CDirect3DTexture9::~CDirect3DTexture9() {
    {
        CGlesContext::Scope scope(*m_context);
        if (scope.current()) {
            glDeleteTextures(1, &m_texture);
        }
    }
    --m_context->defaultPoolResources();
}

HRESULT CDirect3DTexture9::LockRect(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect,
                                    DWORD) {
    CAutoLock guard(&m_context->mutex());
    // Default-pool textures are lockable only when dynamic.
    if (level != 0 || !lockedRect || rect || !m_dynamic || m_locked) {
        return D3DERR_INVALIDCALL;
    }
    const HRESULT fault = takeCallFailureForTesting(Direct3D9Call::TextureLock);
    if (FAILED(fault)) {
        return fault;
    }
    if (m_texels.empty()) {
        m_texels.assign(static_cast<size_t>(m_pitch) * m_height, 0);
    }
    lockedRect->Pitch = m_pitch;
    lockedRect->pBits = m_texels.data();
    m_locked = true;
    return D3D_OK;
}

HRESULT CDirect3DTexture9::UnlockRect(UINT level) {
    CGlesContext::Scope scope(*m_context);
    if (level != 0 || !m_locked) {
        return D3DERR_INVALIDCALL;
    }
    m_locked = false;
    if (scope.current()) {
        m_context->uploadLuminance_Locked(m_texture, static_cast<int>(m_width),
                                          static_cast<int>(m_height), m_texels.data(), m_pitch);
    }
    return D3D_OK;
}
