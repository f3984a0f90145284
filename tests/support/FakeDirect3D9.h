#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Platform/D3D9/Direct3D9.h"
#include "support/FakeD3DObject.h"

// A Direct3D 9 test double for observing what a renderer asks of Direct3D.
// While it lives, Direct3DCreate9 is redirected to it; every call on any of
// its objects is logged in order, and any call can be made to fail. Objects
// are named by kind and number ("device1", "texture3"). At destruction it
// checks that every object was released and no memory guard was overwritten.
class FakeDirect3D9 {
public:
    FakeDirect3D9();
    ~FakeDirect3D9();

    FakeDirect3D9(const FakeDirect3D9&) = delete;
    FakeDirect3D9& operator=(const FakeDirect3D9&) = delete;

    // Capabilities reported by IDirect3D9::GetDeviceCaps (adapterCapsResult
    // is its result) and by IDirect3DDevice9::GetDeviceCaps: by default pixel
    // shader 3.0, dynamic textures and hardware transform and lighting.
    D3DCAPS9 adapterCaps;
    HRESULT adapterCapsResult;
    D3DCAPS9 deviceCaps;

    // The next call of method (such as "Present") answers result; a name
    // such as "texture2.LockRect" limits it to one object. Results queue up.
    void failNext(const std::string& method, HRESULT result);
    // Every call of method answers result until cleared with D3D_OK.
    void failAlways(const std::string& method, HRESULT result);

    // The calls logged since the last takeCalls().
    std::vector<std::string> takeCalls();
    const std::vector<std::string>& calls() const { return m_calls; }

    // The object of that name, or null.
    FakeD3DObject* object(const std::string& name) const;
    // How a window handle appears in the log.
    static std::string text(HWND window);

    // Used by FakeD3DObject.
    FakeD3DObject* create(FakeD3DObject::Kind kind);
    HRESULT record(const std::string& name, const std::string& method,
                   const std::string& arguments);
    void log(const std::string& line);

private:
    static IDirect3D9* createDirect3D(UINT sdkVersion);

    std::vector<std::unique_ptr<FakeD3DObject>> m_objects;
    std::map<FakeD3DObject::Kind, int> m_counts;
    std::map<std::string, std::deque<HRESULT>> m_nextResults;
    std::map<std::string, HRESULT> m_alwaysResults;
    std::vector<std::string> m_calls;
};

// True when calls starting with each of expected appear in this order (other
// calls may come between).
bool containsInOrder(const std::vector<std::string>& calls,
                     const std::vector<std::string>& expected);
