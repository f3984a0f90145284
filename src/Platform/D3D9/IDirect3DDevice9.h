#pragma once

#include "Platform/D3D9/D3D9Types.h"

class IDirect3DPixelShader9;
class IDirect3DSurface9;
class IDirect3DSwapChain9;
class IDirect3DTexture9;
class IDirect3DVertexBuffer9;

// A rendering device with one swap chain. Every call may come from any thread;
// calls on one device and its resources are serialised inside.
class IDirect3DDevice9 {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // D3D_OK, D3DERR_DEVICELOST while the device cannot be reset, then
    // D3DERR_DEVICENOTRESET until Reset succeeds.
    virtual HRESULT TestCooperativeLevel() = 0;
    virtual HRESULT GetDeviceCaps(D3DCAPS9* caps) = 0;
    virtual HRESULT GetSwapChain(UINT swapChain, IDirect3DSwapChain9** result) = 0;
    // Recreates the swap chain with new parameters and restores a lost device.
    // Every default-pool resource and back-buffer reference must have been
    // released first.
    virtual HRESULT Reset(D3DPRESENT_PARAMETERS* parameters) = 0;
    virtual HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                            const RGNDATA* dirtyRegion) = 0;
    virtual HRESULT GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type,
                                  IDirect3DSurface9** surface) = 0;
    virtual HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage,
                                  D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture,
                                  HANDLE* sharedHandle) = 0;
    virtual HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                       IDirect3DVertexBuffer9** vertexBuffer,
                                       HANDLE* sharedHandle) = 0;
    virtual HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format,
                                                D3DPOOL pool, IDirect3DSurface9** surface,
                                                HANDLE* sharedHandle) = 0;
    // Copies a rectangle of source (YV12 surfaces are converted to RGB with the
    // BT.601 limited-range equations) onto a rectangle of a render target,
    // scaled with the filter (none, point or linear).
    virtual HRESULT StretchRect(IDirect3DSurface9* source, const RECT* sourceRect,
                                IDirect3DSurface9* dest, const RECT* destRect,
                                D3DTEXTUREFILTERTYPE filter) = 0;
    virtual HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* renderTarget) = 0;
    virtual HRESULT BeginScene() = 0;
    virtual HRESULT EndScene() = 0;
    virtual HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                          DWORD stencil) = 0;
    virtual HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) = 0;
    virtual HRESULT SetTexture(DWORD stage, IDirect3DTexture9* texture) = 0;
    virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE primitiveType, UINT startVertex,
                                  UINT primitiveCount) = 0;
    // Pre-transformed vertices (D3DFVF_XYZRHW) with an optional diffuse colour
    // and up to four sets of 2D texture coordinates.
    virtual HRESULT SetFVF(DWORD fvf) = 0;
    virtual HRESULT SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer9* streamData,
                                    UINT offsetInBytes, UINT stride) = 0;
    virtual HRESULT CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) = 0;
    virtual HRESULT SetPixelShader(IDirect3DPixelShader9* shader) = 0;
    virtual HRESULT SetPixelShaderConstantF(UINT startRegister, const float* constantData,
                                            UINT vector4fCount) = 0;

protected:
    virtual ~IDirect3DDevice9() = default;
};
