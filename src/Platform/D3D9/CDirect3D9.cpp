#include "Platform/D3D9/CDirect3D9.h"

#include <new>

#include "Platform/D3D9/CDirect3DDevice9.h"
#include "Platform/D3D9/Direct3D9.h"
#include "Platform/D3D9/Direct3D9ForTesting.h"
#include "Platform/Gles/CGlesContext.h"

void CDirect3D9::capabilities(int esMajor, int maxTextureSize, D3DCAPS9* caps) {
    const Direct3D9Faults faults = direct3D9FaultsForTesting();
    *caps = D3DCAPS9{};
    caps->DeviceType = D3DDEVTYPE_HAL;
    caps->AdapterOrdinal = D3DADAPTER_DEFAULT;
    caps->Caps2 = faults.noDynamicTextures ? 0 : D3DCAPS2_DYNAMICTEXTURES;
    caps->DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    caps->MaxTextureWidth = static_cast<DWORD>(maxTextureSize);
    caps->MaxTextureHeight = static_cast<DWORD>(maxTextureSize);
    caps->VertexShaderVersion = esMajor >= 3 ? D3DVS_VERSION(3, 0) : D3DVS_VERSION(2, 0);
    caps->PixelShaderVersion = esMajor >= 3 ? D3DPS_VERSION(3, 0) : D3DPS_VERSION(2, 0);
    if (faults.pixelShaderVersion != 0) {
        caps->PixelShaderVersion = faults.pixelShaderVersion;
    }
}

HRESULT CDirect3D9::GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS9* caps) {
    if (adapter != D3DADAPTER_DEFAULT || !caps) {
        return D3DERR_INVALIDCALL;
    }
    int esMajor = 0;
    int maxTextureSize = 0;
    if (deviceType != D3DDEVTYPE_HAL || !CGlesContext::probe(&esMajor, &maxTextureSize)) {
        return D3DERR_NOTAVAILABLE;
    }
    capabilities(esMajor, maxTextureSize, caps);
    return D3D_OK;
}

HRESULT CDirect3D9::CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow,
                                 DWORD behaviorFlags, D3DPRESENT_PARAMETERS* parameters,
                                 IDirect3DDevice9** device) {
    if (adapter != D3DADAPTER_DEFAULT) {
        return D3DERR_INVALIDCALL;
    }
    if (deviceType != D3DDEVTYPE_HAL) {
        return D3DERR_NOTAVAILABLE;
    }
    return CDirect3DDevice9::create(focusWindow, behaviorFlags, parameters, device);
}

IDirect3D9* Direct3DCreate9(UINT sdkVersion) {
    if (Direct3DCreate9Function create = direct3DCreate9ForTesting()) {
        return create(sdkVersion);
    }
    if (sdkVersion != D3D_SDK_VERSION) {
        return nullptr;
    }
    return new (std::nothrow) CDirect3D9();
}
