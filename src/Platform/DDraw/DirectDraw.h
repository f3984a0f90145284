#pragma once

// DirectDraw 7 on Linux. Offscreen surfaces are YV12 pixels in memory; a
// blit onto the primary surface converts and scales them with libswscale
// (BT.601, limited range) and puts the result into the window of the primary
// surface's clipper: an X11 window through shared-memory images where the
// server offers them and plain images otherwise, or an offscreen window's
// pixels. The primary surface is addressed in screen coordinates; an
// offscreen window is its own screen.

#include "Platform/DDraw/DirectDrawTypes.h"
#include "Platform/DDraw/IDirectDraw7.h"
#include "Platform/DDraw/IDirectDrawClipper.h"
#include "Platform/DDraw/IDirectDrawSurface7.h"

extern const IID IID_IDirectDraw7;

// Creates the DirectDraw object of the default display driver (guid null)
// for the interface IID_IDirectDraw7; outer must be null.
HRESULT DirectDrawCreateEx(GUID* guid, void** directDraw, REFIID iid, IUnknown* outer);

// Test seams.
typedef HRESULT (*DirectDrawCreateExFunction)(GUID* guid, void** directDraw, REFIID iid,
                                              IUnknown* outer);
// Routes DirectDrawCreateEx to function (null: back to this layer's own);
// returns the function it replaces.
DirectDrawCreateExFunction DirectDrawRedirectCreateEx(DirectDrawCreateExFunction function);
// Makes every existing surface lost, as a display mode change does.
void DirectDrawSimulateModeChange();
// Makes the next count calls of Lock, on any surface, answer DDERR_WASSTILLDRAWING.
void DirectDrawSimulateBusyLocks(int count);
