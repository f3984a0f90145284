#pragma once

#include "Platform/D3D9/D3D9Types.h"

class IDirect3DSurface9;

// The device's swap chain: its back buffers and their presentation.
class IDirect3DSwapChain9 {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // Scales back buffer 0 onto the whole client area of destWindowOverride,
    // or of the device window when that is null. Only whole-buffer, whole-window
    // presentation (null rectangles); the dirty region is ignored.
    virtual HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                            const RGNDATA* dirtyRegion, DWORD flags) = 0;
    virtual HRESULT GetBackBuffer(UINT backBuffer, D3DBACKBUFFER_TYPE type,
                                  IDirect3DSurface9** surface) = 0;

protected:
    virtual ~IDirect3DSwapChain9() = default;
};
