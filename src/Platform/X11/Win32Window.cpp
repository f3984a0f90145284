#include "Platform/X11/Win32Window.h"

#include <cstdint>

#include "Platform/X11/COffscreenWindow.h"
#include "Platform/X11/CXcbConnection.h"

// X11 window ids fit in 29 bits; larger values are not worth a server round trip.
bool x11WindowId(HWND window, unsigned long* xid) {
    const uintptr_t value = reinterpret_cast<uintptr_t>(window);
    if (value == 0 || value > 0x1FFFFFFFu) {
        return false;
    }
    *xid = static_cast<unsigned long>(value);
    return true;
}

BOOL GetClientRect(HWND window, RECT* rect) {
    *rect = RECT{0, 0, 0, 0};
    int width = 0;
    int height = 0;
    unsigned long xid = 0;
    if (COffscreenWindow* offscreen = COffscreenWindow::fromHandle(window)) {
        offscreen->size(&width, &height);
    } else if (x11WindowId(window, &xid)) {
        if (!CXcbConnection::instance().clientSize(static_cast<uint32_t>(xid), &width, &height)) {
            return FALSE;
        }
    } else {
        return FALSE;
    }
    rect->right = width;
    rect->bottom = height;
    return TRUE;
}

BOOL ClientToScreen(HWND window, POINT* point) {
    if (COffscreenWindow::fromHandle(window)) {
        return TRUE;
    }
    unsigned long xid = 0;
    if (!x11WindowId(window, &xid)) {
        return FALSE;
    }
    int x = point->x;
    int y = point->y;
    if (!CXcbConnection::instance().toScreen(static_cast<uint32_t>(xid), &x, &y)) {
        return FALSE;
    }
    point->x = x;
    point->y = y;
    return TRUE;
}
