#pragma once

#include <string>
#include <vector>

#include "Platform/D3D9/Direct3D9.h"

class FakeDirect3D9;

// One object of the Direct3D test double. It implements every Direct3D
// interface the renderers use and plays the one its kind names; each call is
// logged by its FakeDirect3D9 as "<name>.<Method> <arguments>" and answers
// what the test scripted there (D3D_OK otherwise). Lockable objects hand out
// memory of exactly their size, followed by guard bytes that must stay
// untouched.
class FakeD3DObject : public IDirect3D9,
                      public IDirect3DDevice9,
                      public IDirect3DSwapChain9,
                      public IDirect3DSurface9,
                      public IDirect3DTexture9,
                      public IDirect3DVertexBuffer9,
                      public IDirect3DPixelShader9 {
public:
    enum Kind { Direct3D, Device, SwapChain, Surface, BackBuffer, Texture, VertexBuffer, Shader };

    static constexpr size_t kGuardBytes = 64;
    static constexpr uint8_t kGuardByte = 0xA5;

    FakeD3DObject(FakeDirect3D9& world, Kind kind, const std::string& name);
    ~FakeD3DObject() override = default;

    const std::string& name() const { return m_name; }
    Kind kind() const { return m_kind; }
    int references() const { return m_references; }
    // The lockable memory (without the guard), its size and pitch.
    const uint8_t* memory() const { return m_storage.data(); }
    size_t memorySize() const { return m_size; }
    int pitch() const { return m_pitch; }
    UINT width() const { return m_width; }
    UINT height() const { return m_height; }
    // True when nothing was written past the end of the memory.
    bool guardIntact() const;
    // Gives the object lockable memory of height rows of pitch bytes (plus extra).
    void allocate(UINT width, UINT height, int pitch, size_t extraBytes);

    ULONG AddRef() override;
    ULONG Release() override;

    // IDirect3D9
    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS9* caps) override;
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                         D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) override;

    // IDirect3DDevice9
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

    // IDirect3DSwapChain9
    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                    const RGNDATA* dirtyRegion, DWORD flags) override;
    HRESULT GetBackBuffer(UINT backBuffer, D3DBACKBUFFER_TYPE type,
                          IDirect3DSurface9** surface) override;

    // IDirect3DSurface9
    HRESULT LockRect(D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect() override;

    // IDirect3DTexture9
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect,
                     DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;

    // IDirect3DVertexBuffer9
    HRESULT Lock(UINT offsetToLock, UINT sizeToLock, void** data, DWORD flags) override;
    HRESULT Unlock() override;

private:
    // Logs a call and answers its scripted result.
    HRESULT call(const std::string& method, const std::string& arguments = "");

    FakeDirect3D9& m_world;
    const Kind m_kind;
    const std::string m_name;
    int m_references;
    UINT m_width;
    UINT m_height;
    int m_pitch;
    size_t m_size;
    std::vector<uint8_t> m_storage;  // the memory, then the guard bytes
    FakeD3DObject* m_backBuffer;     // a device's
    FakeD3DObject* m_swapChain;      // a device's
};
