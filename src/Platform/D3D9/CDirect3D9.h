#pragma once

#include "Platform/D3D9/IDirect3D9.h"
#include "Platform/Win32/CRefCounted.h"

// The Direct3D object of the stand-in: one adapter (D3DADAPTER_DEFAULT) with
// a HAL device on OpenGL ES.
class CDirect3D9 : public CRefCounted<IDirect3D9> {
public:
    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS9* caps) override;
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                         D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) override;

    // The capabilities of a device on an OpenGL ES context of the given major
    // version: pixel and vertex shaders 3.0 on OpenGL ES 3 and 2.0 on OpenGL
    // ES 2, dynamic textures, hardware transform and lighting; then the
    // faults set for testing.
    static void capabilities(int esMajor, int maxTextureSize, D3DCAPS9* caps);

private:
    ~CDirect3D9() override = default;
};
