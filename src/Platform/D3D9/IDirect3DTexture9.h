#pragma once

#include "Platform/D3D9/D3D9Types.h"

// A texture with one level that pixel shaders sample.
class IDirect3DTexture9 {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // Gives write access to a level's texels, rows Pitch bytes apart. Only
    // whole-level locks.
    virtual HRESULT LockRect(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect,
                             DWORD flags) = 0;
    virtual HRESULT UnlockRect(UINT level) = 0;

protected:
    virtual ~IDirect3DTexture9() = default;
};
