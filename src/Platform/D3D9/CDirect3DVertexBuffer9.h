#pragma once

#include <GLES2/gl2.h>

#include <memory>
#include <vector>

#include "Platform/D3D9/IDirect3DVertexBuffer9.h"
#include "Platform/Win32/CRefCounted.h"

class CGlesContext;

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
    // Use inside a scope of the context.
    bool isLocked() const { return m_locked; }
    GLuint glBuffer() const { return m_buffer; }

private:
    CDirect3DVertexBuffer9(const std::shared_ptr<CGlesContext>& context, UINT length);
    ~CDirect3DVertexBuffer9() override;

    const std::shared_ptr<CGlesContext> m_context;
    std::vector<BYTE> m_bytes;  // guarded by the context's mutex, as is the rest
    GLuint m_buffer;
    bool m_locked;
};
