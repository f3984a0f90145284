#pragma once

#include "Platform/D3D9/D3D9Types.h"

// A pixel shader made by IDirect3DDevice9::CreatePixelShader.
class IDirect3DPixelShader9 {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IDirect3DPixelShader9() = default;
};
