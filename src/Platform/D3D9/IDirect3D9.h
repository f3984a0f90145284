#pragma once

#include "Platform/D3D9/D3D9Types.h"

class IDirect3DDevice9;

// The Direct3D object: adapter capabilities and device creation. Made by
// Direct3DCreate9 and destroyed by its last Release, as every object of the
// Direct3D stand-in.
class IDirect3D9 {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    virtual HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS9* caps) = 0;
    // Creates a windowed device drawing for focusWindow (or the parameters'
    // device window). Zero back-buffer sizes take the window's client size;
    // the chosen sizes and format are written back into parameters.
    virtual HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow,
                                 DWORD behaviorFlags, D3DPRESENT_PARAMETERS* parameters,
                                 IDirect3DDevice9** device) = 0;

protected:
    virtual ~IDirect3D9() = default;
};
