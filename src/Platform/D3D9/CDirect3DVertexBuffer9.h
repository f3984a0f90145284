#pragma once

#include <GLES2/gl2.h>

#include <memory>
#include <vector>

#include "Platform/D3D9/IDirect3DVertexBuffer9.h"
#include "Platform/Gles/CGlesContext.h"
#include "Platform/Win32/CRefCounted.h"

// A default-pool vertex buffer: a GL buffer object and the memory that Lock
// hands out; Unlock uploads it.
class CDirect3DVertexBuffer9 : public CRefCounted<IDirect3DVertexBuffer9> {
public:
    // Null when the GL buffer cannot be made.
    static CDirect3DVertexBuffer9* create(const std::shared_ptr<CGlesContext>& context,
                                          UINT length);

    HRESULT Lock(UINT offsetToLock, UINT sizeToLock, void** data, DWORD flags) override;
    HRESULT Unlock() override;

    UINT length() const { return static_cast<UINT>(m_bytes.size()); }
    // Called by the device holding the lock of the context it shares with
    // the buffer (checked).
    bool isLocked_Locked() const;
    // Use inside a scope of the context.
    GLuint glBuffer() const { return m_buffer; }

private:
    CDirect3DVertexBuffer9(const std::shared_ptr<CGlesContext>& context, UINT length);
    ~CDirect3DVertexBuffer9() override;

    const std::shared_ptr<CGlesContext> m_context;
    // Made by the constructor; the bytes are the locker's between Lock and Unlock.
    std::vector<BYTE> m_bytes;
    GLuint m_buffer;
    bool m_locked GUARDED_BY(m_context->mutex());
};
