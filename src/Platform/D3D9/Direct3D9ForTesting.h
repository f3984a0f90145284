#pragma once

// Test seams of the Direct3D 9 stand-in: Direct3DCreate9 can be redirected to
// a test double, and the real implementation can be told to fail on purpose.
// Tests set them before the code under test runs and put them back afterwards.

#include "Platform/D3D9/IDirect3D9.h"

typedef IDirect3D9* (*Direct3DCreate9Function)(UINT sdkVersion);

// Makes Direct3DCreate9 return create(sdkVersion); null restores the stand-in.
void setDirect3DCreate9ForTesting(Direct3DCreate9Function create);
// The redirection in force, or null; read by Direct3DCreate9.
Direct3DCreate9Function direct3DCreate9ForTesting();

// Faults of the real implementation, all off by default.
struct Direct3D9Faults {
    // Non-zero: adapters and devices report this pixel-shader version (such as
    // D3DPS_VERSION(1, 4)) and CreatePixelShader refuses newer programs.
    DWORD pixelShaderVersion = 0;
    // Capabilities lack D3DCAPS2_DYNAMICTEXTURES and D3DUSAGE_DYNAMIC
    // textures cannot be created.
    bool noDynamicTextures = false;
    // CreateDevice answers D3DERR_NOTAVAILABLE.
    bool failCreateDevice = false;
    // Surface locks with D3DLOCK_DONOTWAIT answer D3DERR_WASSTILLDRAWING.
    bool busySurfaces = false;
};

void setDirect3D9FaultsForTesting(const Direct3D9Faults& faults);
// The faults in force; read by the stand-in.
Direct3D9Faults direct3D9FaultsForTesting();

// The next Present of any device answers D3DERR_DEVICELOST, as after a GPU
// reset. The device then answers TestCooperativeLevel with D3DERR_DEVICELOST
// lostAnswers times and with D3DERR_DEVICENOTRESET afterwards, until Reset.
void loseNextPresentForTesting(UINT lostAnswers);
// Takes a loss requested by loseNextPresentForTesting; read by Present.
bool takePresentLossForTesting(UINT* lostAnswers);

// Calls that can be made to fail once, at a chosen count.
enum class Direct3D9Call { TextureLock, Reset };
const int kDirect3D9CallKinds = 2;

// The nth call of that kind from now on (1: the next one) answers result.
void failCallForTesting(Direct3D9Call call, UINT nth, HRESULT result);
// Counts a call of that kind: the failure asked for when this is the one,
// D3D_OK otherwise. Read by the stand-in.
HRESULT takeCallFailureForTesting(Direct3D9Call call);
