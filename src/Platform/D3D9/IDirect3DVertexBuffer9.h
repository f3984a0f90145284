#pragma once

#include "Platform/D3D9/D3D9Types.h"

// Vertices in the layout of the flexible vertex format given at creation.
class IDirect3DVertexBuffer9 {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // Gives write access to sizeToLock bytes from offsetToLock (0 and 0 lock
    // the whole buffer).
    virtual HRESULT Lock(UINT offsetToLock, UINT sizeToLock, void** data, DWORD flags) = 0;
    virtual HRESULT Unlock() = 0;

protected:
    virtual ~IDirect3DVertexBuffer9() = default;
};
