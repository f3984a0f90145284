#pragma once

#include "Platform/Win32/Win32Types.h"

// The window functions the renderers use. A window handle is either an X11
// window id of the library's display ($DISPLAY) or an offscreen window made
// by tavoCreateOffscreenWindow; any other handle has an empty client area.

// The client area: (0, 0, width, height). FALSE with an empty rectangle for
// an unknown handle.
BOOL GetClientRect(HWND window, RECT* rect);

// The X11 window id a handle may stand for; false for null and for values
// that cannot be X11 ids. Whether the window exists is not checked.
bool x11WindowId(HWND window, unsigned long* xid);

// Translates a client-area point to screen coordinates (an offscreen window's
// screen is the window itself). FALSE, point untouched, for an unknown handle.
BOOL ClientToScreen(HWND window, POINT* point);
