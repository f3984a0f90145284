#include "Platform/D3D9/CDirect3DVertexBuffer9.h"

#include <new>

#include "Common/CAutoLock.h"
#include "Platform/Gles/CGlesContext.h"

using RIVO_Common_Player::CAutoLock;

CDirect3DVertexBuffer9* CDirect3DVertexBuffer9::create(const std::shared_ptr<CGlesContext>& context,
                                                       UINT length) {
    CDirect3DVertexBuffer9* buffer = new (std::nothrow) CDirect3DVertexBuffer9(context, length);
    if (buffer && buffer->m_buffer == 0) {
        buffer->Release();
        return nullptr;
    }
    return buffer;
}

CDirect3DVertexBuffer9::CDirect3DVertexBuffer9(const std::shared_ptr<CGlesContext>& context,
                                               UINT length)
    : m_context(context), m_bytes(length, 0), m_buffer(0), m_locked(false) {
    ++m_context->defaultPoolResources();
    CGlesContext::Scope scope(*m_context);
    if (!scope.current()) {
        return;
    }
    glGenBuffers(1, &m_buffer);
    glBindBuffer(GL_ARRAY_BUFFER, m_buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(length), m_bytes.data(), GL_DYNAMIC_DRAW);
    if (glGetError() != GL_NO_ERROR) {
        glDeleteBuffers(1, &m_buffer);
        m_buffer = 0;
    }
}

CDirect3DVertexBuffer9::~CDirect3DVertexBuffer9() {
    {
        CGlesContext::Scope scope(*m_context);
        if (scope.current()) {
            glDeleteBuffers(1, &m_buffer);
        }
    }
    --m_context->defaultPoolResources();
}

HRESULT CDirect3DVertexBuffer9::Lock(UINT offsetToLock, UINT sizeToLock, void** data, DWORD) {
    CAutoLock guard(&m_context->mutex());
    const UINT length = this->length();
    if (!data || m_locked || offsetToLock > length || sizeToLock > length - offsetToLock) {
        return D3DERR_INVALIDCALL;
    }
    *data = m_bytes.data() + offsetToLock;
    m_locked = true;
    return D3D_OK;
}

bool CDirect3DVertexBuffer9::isLocked_Locked() const {
    m_context->mutex().assertHeld();
    return m_locked;
}

HRESULT CDirect3DVertexBuffer9::Unlock() {
    CGlesContext::Scope scope(*m_context);
    if (!m_locked) {
        return D3DERR_INVALIDCALL;
    }
    m_locked = false;
    if (scope.current()) {
        glBindBuffer(GL_ARRAY_BUFFER, m_buffer);
        glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(m_bytes.size()),
                        m_bytes.data());
    }
    return D3D_OK;
}
