#pragma once

#include "Platform/D3D9/D3DX9.h"
#include "Platform/D3D9/Direct3D9.h"

// The pixel shader that turns the Y, U and V textures of a picture into RGB
// with the ITU-R BT.601 limited-range equations. It reads texture set 0 from
// sampler "YTextue", set 1 from "UTextue" and set 2 from "VTextue" (registers
// s0, s1, s2) and writes the constant "transparent" (c0, default 1.0) as
// alpha. The program comes in two versions, ps_3_0 and ps_2_0, with the same
// constants and arithmetic; the device's pixel-shader version picks one.
class CD3DYUV420Shader {
public:
    CD3DYUV420Shader();
    // Releases the constant table, then the pixel shader.
    virtual ~CD3DYUV420Shader();

    CD3DYUV420Shader(const CD3DYUV420Shader&) = delete;
    CD3DYUV420Shader& operator=(const CD3DYUV420Shader&) = delete;

    // Makes the pixel shader and reads its constant table on device, and
    // loads the constants' defaults. False for a device below pixel shader
    // 2.0 or at the first failing call.
    virtual bool Create(IDirect3DDevice9* device);
    // Sets the pixel shader and binds textures (Y, U, V) to the samplers'
    // registers. False without a shader or at the first failing call.
    virtual bool Apply(IDirect3DDevice9* device, IDirect3DTexture9* const textures[3]);

private:
    void release();

    IDirect3DPixelShader9* m_pixelShader;
    ID3DXConstantTable* m_constantTable;
    D3DXHANDLE m_samplers[3];
    D3DXCONSTANT_DESC m_samplerDescs[3];
};
