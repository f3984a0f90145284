#pragma once

#include <functional>
#include <memory>

#include "Platform/D3D9/CDirect3DPixelShader9.h"
#include "Platform/D3D9/IDirect3DDevice9.h"
#include "Platform/Gles/CGlesContext.h"
#include "Platform/Win32/CRefCounted.h"

class CDirect3DSurface9;
class CDirect3DSwapChain9;
class CDirect3DTexture9;
class CDirect3DVertexBuffer9;

// A windowed Direct3D 9 device on an OpenGL ES context (see CGlesContext).
// Drawing goes to the render target (back buffer 0 unless set otherwise);
// Present shows back buffer 0. Supported: D3DPOOL_DEFAULT resources, YV12
// offscreen surfaces, one-level D3DFMT_L8 textures, pre-transformed vertices
// drawn with a pixel shader; anything else answers D3DERR_INVALIDCALL.
//
// Threads: any thread may call; the device's state is guarded by the lock of
// its GL context, which its swap chain and resources share.
class CDirect3DDevice9 : public CRefCounted<IDirect3DDevice9> {
public:
    // Creates a device for focusWindow with the given behaviour flags and
    // presentation parameters (completed in place), as IDirect3D9::CreateDevice.
    static HRESULT create(HWND focusWindow, DWORD behaviorFlags, D3DPRESENT_PARAMETERS* parameters,
                          IDirect3DDevice9** device);

    HRESULT TestCooperativeLevel() override;
    HRESULT GetDeviceCaps(D3DCAPS9* caps) override;
    HRESULT GetSwapChain(UINT swapChain, IDirect3DSwapChain9** result) override;
    HRESULT Reset(D3DPRESENT_PARAMETERS* parameters) override;
    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                    const RGNDATA* dirtyRegion) override;
    HRESULT GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type,
                          IDirect3DSurface9** surface) override;
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                          D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* sharedHandle) override;
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer9** vertexBuffer,
                               HANDLE* sharedHandle) override;
    HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                        IDirect3DSurface9** surface, HANDLE* sharedHandle) override;
    HRESULT StretchRect(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* dest,
                        const RECT* destRect, D3DTEXTUREFILTERTYPE filter) override;
    HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* renderTarget) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                  DWORD stencil) override;
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
    HRESULT SetTexture(DWORD stage, IDirect3DTexture9* texture) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE primitiveType, UINT startVertex,
                          UINT primitiveCount) override;
    HRESULT SetFVF(DWORD fvf) override;
    HRESULT SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer9* streamData,
                            UINT offsetInBytes, UINT stride) override;
    HRESULT CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) override;
    HRESULT SetPixelShader(IDirect3DPixelShader9* shader) override;
    HRESULT SetPixelShaderConstantF(UINT startRegister, const float* constantData,
                                    UINT vector4fCount) override;

private:
    // Sampler states kept per sampler, indexed by D3DSAMPLERSTATETYPE.
    static constexpr DWORD kSamplerStates = D3DSAMP_MIPFILTER + 1;

    CDirect3DDevice9(const std::shared_ptr<CGlesContext>& context, CDirect3DSwapChain9* swapChain,
                     const D3DCAPS9& caps);
    ~CDirect3DDevice9() override;

    // Drops the references the device's state holds.
    void releaseBindings_Locked() REQUIRES(m_context->mutex());
    // Puts every state back to its default: back buffer 0 as render target,
    // nothing bound, default sampler states, zero constants.
    void resetState_Locked() REQUIRES(m_context->mutex());
    // Binds a render target and runs draw over all of it (see
    // CDirect3DSwapChain9::drawToBackBuffer_Locked for bottomUp).
    void drawTo_Locked(CDirect3DSurface9* target, const std::function<void(bool bottomUp)>& draw)
        REQUIRES(m_context->mutex());
    // Applies the sampler states of a sampler to the texture bound to its unit.
    void applySamplerStates_Locked(UINT sampler) const REQUIRES(m_context->mutex());
    // Points the vertex attributes at the stream in the layout of the FVF.
    void bindVertexStream_Locked() const REQUIRES(m_context->mutex());

    const std::shared_ptr<CGlesContext> m_context;
    const D3DCAPS9 m_caps;
    CDirect3DSwapChain9* const m_swapChain;
    CDirect3DSurface9* m_renderTarget GUARDED_BY(m_context->mutex());
    CDirect3DTexture9* m_textures[CDirect3DPixelShader9::kSamplers] GUARDED_BY(m_context->mutex());
    DWORD m_samplerStates[CDirect3DPixelShader9::kSamplers][kSamplerStates] GUARDED_BY(
        m_context->mutex());
    CDirect3DVertexBuffer9* m_stream GUARDED_BY(m_context->mutex());
    UINT m_streamOffset GUARDED_BY(m_context->mutex());
    UINT m_streamStride GUARDED_BY(m_context->mutex());
    DWORD m_fvf GUARDED_BY(m_context->mutex());
    CDirect3DPixelShader9* m_pixelShader GUARDED_BY(m_context->mutex());
    float m_floatRegisters[CDirect3DPixelShader9::kFloatRegisters][4] GUARDED_BY(
        m_context->mutex());
    bool m_inScene GUARDED_BY(m_context->mutex());
};
