#pragma once

// The Direct3D 9 stand-in: Direct3D's calls under their Windows names,
// implemented on EGL and OpenGL ES. Devices for X11 windows draw on the
// window's EGL surface; devices for offscreen windows run headless on Mesa's
// surfaceless platform and Present reads the picture back into the window.

#include "Platform/D3D9/D3D9Types.h"
#include "Platform/D3D9/IDirect3D9.h"
#include "Platform/D3D9/IDirect3DDevice9.h"
#include "Platform/D3D9/IDirect3DPixelShader9.h"
#include "Platform/D3D9/IDirect3DSurface9.h"
#include "Platform/D3D9/IDirect3DSwapChain9.h"
#include "Platform/D3D9/IDirect3DTexture9.h"
#include "Platform/D3D9/IDirect3DVertexBuffer9.h"

// The Direct3D object (reference count 1), or null for an SDK version other
// than D3D_SDK_VERSION.
IDirect3D9* Direct3DCreate9(UINT sdkVersion);
