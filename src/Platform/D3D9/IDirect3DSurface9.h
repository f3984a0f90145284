#pragma once

#include "Platform/D3D9/D3D9Types.h"

// A surface: a YV12 offscreen plain surface that the application writes, or
// a back buffer that the device renders into.
class IDirect3DSurface9 {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // Gives write access to the surface memory. A YV12 surface is the luma
    // plane (height rows of Pitch bytes), then the V plane at Pitch x height
    // and the U plane at Pitch x height + (Pitch x height) / 4, each of
    // height / 2 rows of Pitch / 2 bytes. Only whole-surface locks.
    virtual HRESULT LockRect(D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD flags) = 0;
    virtual HRESULT UnlockRect() = 0;

protected:
    virtual ~IDirect3DSurface9() = default;
};
