#include "support/FakeD3DObject.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "Platform/D3D9/CPixelShaderProgram.h"
#include "support/FakeDirect3D9.h"

namespace {

std::string hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%x", value);
    return text;
}

std::string rectText(const RECT* rect) {
    if (!rect) {
        return "null";
    }
    std::ostringstream text;
    text << rect->left << "," << rect->top << "," << rect->right << "," << rect->bottom;
    return text.str();
}

template <class Interface>
std::string nameOf(Interface* object) {
    return object ? static_cast<FakeD3DObject*>(object)->name() : "null";
}

std::string parametersText(const D3DPRESENT_PARAMETERS* p) {
    if (!p) {
        return "null";
    }
    std::ostringstream text;
    text << "{" << p->BackBufferWidth << "x" << p->BackBufferHeight
         << " format=" << p->BackBufferFormat << " count=" << p->BackBufferCount
         << " multisample=" << p->MultiSampleType << "," << p->MultiSampleQuality
         << " swap=" << p->SwapEffect << " window=" << FakeDirect3D9::text(p->hDeviceWindow)
         << " windowed=" << p->Windowed << " depth=" << p->EnableAutoDepthStencil << ","
         << p->AutoDepthStencilFormat << " flags=" << p->Flags
         << " refresh=" << p->FullScreen_RefreshRateInHz << " interval=" << p->PresentationInterval
         << "}";
    return text.str();
}

}  // namespace

FakeD3DObject::FakeD3DObject(FakeDirect3D9& world, Kind kind, const std::string& name)
    : m_world(world),
      m_kind(kind),
      m_name(name),
      m_references(1),
      m_width(0),
      m_height(0),
      m_pitch(0),
      m_size(0),
      m_backBuffer(nullptr),
      m_swapChain(nullptr) {}

void FakeD3DObject::allocate(UINT width, UINT height, int pitch, size_t extraBytes) {
    m_width = width;
    m_height = height;
    m_pitch = pitch;
    m_size = static_cast<size_t>(pitch) * height + extraBytes;
    m_storage.assign(m_size, 0);
    m_storage.insert(m_storage.end(), kGuardBytes, kGuardByte);
}

bool FakeD3DObject::guardIntact() const {
    return std::all_of(m_storage.begin() + static_cast<ptrdiff_t>(m_size), m_storage.end(),
                       [](uint8_t byte) { return byte == kGuardByte; });
}

HRESULT FakeD3DObject::call(const std::string& method, const std::string& arguments) {
    EXPECT_GT(m_references, 0) << m_name << "." << method << " after its release";
    return m_world.record(m_name, method, arguments);
}

ULONG FakeD3DObject::AddRef() {
    return static_cast<ULONG>(++m_references);
}

ULONG FakeD3DObject::Release() {
    EXPECT_GT(m_references, 0) << m_name << " released too often";
    if (--m_references == 0) {
        m_world.log(m_name + ".Released");
        if (m_backBuffer) {
            m_backBuffer->Release();
        }
        if (m_swapChain) {
            m_swapChain->Release();
        }
    }
    return static_cast<ULONG>(std::max(m_references, 0));
}

HRESULT FakeD3DObject::GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS9* caps) {
    const HRESULT result =
        call("GetDeviceCaps", std::to_string(adapter) + " " + std::to_string(deviceType));
    if (FAILED(result) || FAILED(m_world.adapterCapsResult)) {
        return FAILED(result) ? result : m_world.adapterCapsResult;
    }
    *caps = m_world.adapterCaps;
    return D3D_OK;
}

HRESULT FakeD3DObject::CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow,
                                    DWORD behaviorFlags, D3DPRESENT_PARAMETERS* parameters,
                                    IDirect3DDevice9** device) {
    const HRESULT result =
        call("CreateDevice", std::to_string(adapter) + " " + std::to_string(deviceType) + " " +
                                 FakeDirect3D9::text(focusWindow) + " " + hex(behaviorFlags) + " " +
                                 parametersText(parameters));
    if (FAILED(result)) {
        return result;
    }
    FakeD3DObject* created = m_world.create(Device);
    created->m_swapChain = m_world.create(SwapChain);
    created->m_backBuffer = m_world.create(BackBuffer);
    created->m_swapChain->m_backBuffer = created->m_backBuffer;
    created->m_backBuffer->AddRef();
    *device = created;
    return D3D_OK;
}

HRESULT FakeD3DObject::TestCooperativeLevel() {
    return call("TestCooperativeLevel");
}

HRESULT FakeD3DObject::GetDeviceCaps(D3DCAPS9* caps) {
    const HRESULT result = call("GetDeviceCaps");
    if (SUCCEEDED(result)) {
        *caps = m_world.deviceCaps;
    }
    return result;
}

HRESULT FakeD3DObject::GetSwapChain(UINT swapChain, IDirect3DSwapChain9** result) {
    const HRESULT answer = call("GetSwapChain", std::to_string(swapChain));
    if (SUCCEEDED(answer)) {
        m_swapChain->AddRef();
        *result = m_swapChain;
    }
    return answer;
}

HRESULT FakeD3DObject::Reset(D3DPRESENT_PARAMETERS* parameters) {
    return call("Reset", parametersText(parameters));
}

HRESULT FakeD3DObject::Present(const RECT* sourceRect, const RECT* destRect,
                               HWND destWindowOverride, const RGNDATA* dirtyRegion) {
    return call("Present", rectText(sourceRect) + " " + rectText(destRect) + " " +
                               FakeDirect3D9::text(destWindowOverride) + " " +
                               (dirtyRegion ? "region" : "null"));
}

HRESULT FakeD3DObject::GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type,
                                     IDirect3DSurface9** surface) {
    const HRESULT result =
        call("GetBackBuffer", std::to_string(swapChain) + " " + std::to_string(backBuffer) + " " +
                                  std::to_string(type));
    if (SUCCEEDED(result)) {
        m_backBuffer->AddRef();
        *surface = m_backBuffer;
    }
    return result;
}

HRESULT FakeD3DObject::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage,
                                     D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture,
                                     HANDLE* sharedHandle) {
    const HRESULT result =
        call("CreateTexture", std::to_string(width) + " " + std::to_string(height) + " " +
                                  std::to_string(levels) + " " + hex(usage) + " " +
                                  std::to_string(format) + " " + std::to_string(pool) + " " +
                                  (sharedHandle ? "handle" : "null"));
    if (FAILED(result)) {
        return result;
    }
    FakeD3DObject* created = m_world.create(Texture);
    created->allocate(width, height, static_cast<int>(width) + 8, 0);
    *texture = created;
    return D3D_OK;
}

HRESULT FakeD3DObject::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                          IDirect3DVertexBuffer9** vertexBuffer,
                                          HANDLE* sharedHandle) {
    const HRESULT result = call(
        "CreateVertexBuffer", std::to_string(length) + " " + hex(usage) + " " + hex(fvf) + " " +
                                  std::to_string(pool) + " " + (sharedHandle ? "handle" : "null"));
    if (FAILED(result)) {
        return result;
    }
    FakeD3DObject* created = m_world.create(VertexBuffer);
    created->allocate(length, 1, static_cast<int>(length), 0);
    *vertexBuffer = created;
    return D3D_OK;
}

HRESULT FakeD3DObject::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format,
                                                   D3DPOOL pool, IDirect3DSurface9** surface,
                                                   HANDLE* sharedHandle) {
    const HRESULT result =
        call("CreateOffscreenPlainSurface", std::to_string(width) + " " + std::to_string(height) +
                                                " " + hex(format) + " " + std::to_string(pool) +
                                                " " + (sharedHandle ? "handle" : "null"));
    if (FAILED(result)) {
        return result;
    }
    FakeD3DObject* created = m_world.create(Surface);
    // A pitch wider than the rows, as drivers give; YV12 memory per the surface layout.
    const int pitch = static_cast<int>((width + 33) & ~1u);
    const size_t luma = static_cast<size_t>(pitch) * height;
    created->allocate(width, height, pitch,
                      luma / 4 + static_cast<size_t>(height / 2) * (pitch / 2));
    *surface = created;
    return D3D_OK;
}

HRESULT FakeD3DObject::StretchRect(IDirect3DSurface9* source, const RECT* sourceRect,
                                   IDirect3DSurface9* dest, const RECT* destRect,
                                   D3DTEXTUREFILTERTYPE filter) {
    return call("StretchRect", nameOf(source) + " " + rectText(sourceRect) + " " + nameOf(dest) +
                                   " " + rectText(destRect) + " " + std::to_string(filter));
}

HRESULT FakeD3DObject::SetRenderTarget(DWORD index, IDirect3DSurface9* renderTarget) {
    return call("SetRenderTarget", std::to_string(index) + " " + nameOf(renderTarget));
}

HRESULT FakeD3DObject::BeginScene() {
    return call("BeginScene");
}

HRESULT FakeD3DObject::EndScene() {
    return call("EndScene");
}

HRESULT FakeD3DObject::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color,
                             float z, DWORD stencil) {
    std::ostringstream text;
    text << count << " " << (rects ? "rects" : "null") << " " << hex(flags) << " " << hex(color)
         << " " << z << " " << stencil;
    return call("Clear", text.str());
}

HRESULT FakeD3DObject::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    return call("SetSamplerState",
                std::to_string(sampler) + " " + std::to_string(type) + " " + std::to_string(value));
}

HRESULT FakeD3DObject::SetTexture(DWORD stage, IDirect3DTexture9* texture) {
    return call("SetTexture", std::to_string(stage) + " " + nameOf(texture));
}

HRESULT FakeD3DObject::DrawPrimitive(D3DPRIMITIVETYPE primitiveType, UINT startVertex,
                                     UINT primitiveCount) {
    return call("DrawPrimitive", std::to_string(primitiveType) + " " + std::to_string(startVertex) +
                                     " " + std::to_string(primitiveCount));
}

HRESULT FakeD3DObject::SetFVF(DWORD fvf) {
    return call("SetFVF", hex(fvf));
}

HRESULT FakeD3DObject::SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer9* streamData,
                                       UINT offsetInBytes, UINT stride) {
    return call("SetStreamSource", std::to_string(streamNumber) + " " + nameOf(streamData) + " " +
                                       std::to_string(offsetInBytes) + " " +
                                       std::to_string(stride));
}

HRESULT FakeD3DObject::CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) {
    CPixelShaderProgram program;
    std::string version = "unreadable";
    if (program.parse(function)) {
        version = "ps_" + std::to_string((program.version() >> 8) & 0xFF) + "_" +
                  std::to_string(program.version() & 0xFF);
    }
    const HRESULT result = call("CreatePixelShader", version);
    if (SUCCEEDED(result)) {
        *shader = m_world.create(Shader);
    }
    return result;
}

HRESULT FakeD3DObject::SetPixelShader(IDirect3DPixelShader9* shader) {
    return call("SetPixelShader", nameOf(shader));
}

HRESULT FakeD3DObject::SetPixelShaderConstantF(UINT startRegister, const float* constantData,
                                               UINT vector4fCount) {
    std::ostringstream text;
    text << startRegister << " " << vector4fCount;
    for (UINT i = 0; i < vector4fCount * 4; ++i) {
        text << (i == 0 ? " " : ",") << constantData[i];
    }
    return call("SetPixelShaderConstantF", text.str());
}

HRESULT FakeD3DObject::Present(const RECT* sourceRect, const RECT* destRect,
                               HWND destWindowOverride, const RGNDATA* dirtyRegion, DWORD flags) {
    return call("Present", rectText(sourceRect) + " " + rectText(destRect) + " " +
                               FakeDirect3D9::text(destWindowOverride) + " " +
                               (dirtyRegion ? "region" : "null") + " " + hex(flags));
}

HRESULT FakeD3DObject::GetBackBuffer(UINT backBuffer, D3DBACKBUFFER_TYPE type,
                                     IDirect3DSurface9** surface) {
    const HRESULT result =
        call("GetBackBuffer", std::to_string(backBuffer) + " " + std::to_string(type));
    if (SUCCEEDED(result)) {
        m_backBuffer->AddRef();
        *surface = m_backBuffer;
    }
    return result;
}

HRESULT FakeD3DObject::LockRect(D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD flags) {
    const HRESULT result = call("LockRect", rectText(rect) + " " + hex(flags));
    if (SUCCEEDED(result)) {
        lockedRect->Pitch = m_pitch;
        lockedRect->pBits = m_storage.data();
    }
    return result;
}

HRESULT FakeD3DObject::UnlockRect() {
    return call("UnlockRect");
}

HRESULT FakeD3DObject::LockRect(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect,
                                DWORD flags) {
    const HRESULT result =
        call("LockRect", std::to_string(level) + " " + rectText(rect) + " " + hex(flags));
    if (SUCCEEDED(result)) {
        lockedRect->Pitch = m_pitch;
        lockedRect->pBits = m_storage.data();
    }
    return result;
}

HRESULT FakeD3DObject::UnlockRect(UINT level) {
    return call("UnlockRect", std::to_string(level));
}

HRESULT FakeD3DObject::Lock(UINT offsetToLock, UINT sizeToLock, void** data, DWORD flags) {
    const HRESULT result = call(
        "Lock", std::to_string(offsetToLock) + " " + std::to_string(sizeToLock) + " " + hex(flags));
    if (SUCCEEDED(result)) {
        *data = m_storage.data() + offsetToLock;
    }
    return result;
}

HRESULT FakeD3DObject::Unlock() {
    return call("Unlock");
}
