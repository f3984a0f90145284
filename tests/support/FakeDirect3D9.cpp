#include "support/FakeDirect3D9.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "Platform/D3D9/Direct3D9ForTesting.h"

namespace {

FakeDirect3D9* g_current = nullptr;

const char* prefix(FakeD3DObject::Kind kind) {
    switch (kind) {
        case FakeD3DObject::Direct3D:
            return "d3d";
        case FakeD3DObject::Device:
            return "device";
        case FakeD3DObject::SwapChain:
            return "swapchain";
        case FakeD3DObject::Surface:
            return "surface";
        case FakeD3DObject::BackBuffer:
            return "backbuffer";
        case FakeD3DObject::Texture:
            return "texture";
        case FakeD3DObject::VertexBuffer:
            return "vb";
        case FakeD3DObject::Shader:
            return "shader";
    }
    return "object";
}

D3DCAPS9 defaultCaps() {
    D3DCAPS9 caps{};
    caps.DeviceType = D3DDEVTYPE_HAL;
    caps.Caps2 = D3DCAPS2_DYNAMICTEXTURES;
    caps.DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    caps.MaxTextureWidth = 4096;
    caps.MaxTextureHeight = 4096;
    caps.VertexShaderVersion = D3DVS_VERSION(3, 0);
    caps.PixelShaderVersion = D3DPS_VERSION(3, 0);
    return caps;
}

}  // namespace

FakeDirect3D9::FakeDirect3D9()
    : adapterCaps(defaultCaps()), adapterCapsResult(D3D_OK), deviceCaps(defaultCaps()) {
    g_current = this;
    setDirect3DCreate9ForTesting(&FakeDirect3D9::createDirect3D);
}

FakeDirect3D9::~FakeDirect3D9() {
    setDirect3DCreate9ForTesting(nullptr);
    g_current = nullptr;
    for (const auto& object : m_objects) {
        EXPECT_EQ(0, object->references()) << object->name() << " was not released";
        EXPECT_TRUE(object->guardIntact()) << "written beyond the memory of " << object->name();
    }
}

IDirect3D9* FakeDirect3D9::createDirect3D(UINT sdkVersion) {
    if (FAILED(g_current->record("", "Direct3DCreate9", std::to_string(sdkVersion)))) {
        return nullptr;
    }
    return g_current->create(FakeD3DObject::Direct3D);
}

void FakeDirect3D9::failNext(const std::string& method, HRESULT result) {
    m_nextResults[method].push_back(result);
}

void FakeDirect3D9::failAlways(const std::string& method, HRESULT result) {
    if (result == D3D_OK) {
        m_alwaysResults.erase(method);
    } else {
        m_alwaysResults[method] = result;
    }
}

std::vector<std::string> FakeDirect3D9::takeCalls() {
    std::vector<std::string> calls;
    calls.swap(m_calls);
    return calls;
}

FakeD3DObject* FakeDirect3D9::object(const std::string& name) const {
    for (const auto& object : m_objects) {
        if (object->name() == name) {
            return object.get();
        }
    }
    return nullptr;
}

std::string FakeDirect3D9::text(HWND window) {
    return window ? "hwnd" + std::to_string(reinterpret_cast<uintptr_t>(window)) : "null";
}

FakeD3DObject* FakeDirect3D9::create(FakeD3DObject::Kind kind) {
    const std::string name = prefix(kind) + std::to_string(++m_counts[kind]);
    m_objects.emplace_back(new FakeD3DObject(*this, kind, name));
    return m_objects.back().get();
}

HRESULT FakeDirect3D9::record(const std::string& name, const std::string& method,
                              const std::string& arguments) {
    const std::string qualified = name.empty() ? method : name + "." + method;
    log(arguments.empty() ? qualified : qualified + " " + arguments);
    for (const std::string& key : {qualified, method}) {
        auto next = m_nextResults.find(key);
        if (next != m_nextResults.end() && !next->second.empty()) {
            const HRESULT result = next->second.front();
            next->second.pop_front();
            return result;
        }
    }
    for (const std::string& key : {qualified, method}) {
        auto always = m_alwaysResults.find(key);
        if (always != m_alwaysResults.end()) {
            return always->second;
        }
    }
    return D3D_OK;
}

void FakeDirect3D9::log(const std::string& line) {
    m_calls.push_back(line);
}

bool containsInOrder(const std::vector<std::string>& calls,
                     const std::vector<std::string>& expected) {
    size_t next = 0;
    for (const std::string& call : calls) {
        if (next < expected.size() && call.compare(0, expected[next].size(), expected[next]) == 0) {
            ++next;
        }
    }
    return next == expected.size();
}
