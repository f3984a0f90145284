#include "Platform/X11/CX11Connection.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>

namespace {

// Error handlers are process-wide in Xlib, so one is installed only around
// the library's own requests and the previous one is put back afterwards.
std::atomic<bool> g_errorSeen{false};

int recordError(Display*, XErrorEvent*) {
    g_errorSeen = true;
    return 0;
}

}  // namespace

RIVO_Common_Player::CLock CX11Connection::s_lock;

CX11Connection& CX11Connection::instance() {
    // Never destroyed: closing the display at process exit would make Xlib end
    // the process if the server had already gone away. The socket closes with
    // the process.
    static CX11Connection* connection = new CX11Connection();
    return *connection;
}

CX11Connection::CX11Connection() : m_display(XOpenDisplay(nullptr)) {}

bool CX11Connection::checked_Locked(const std::function<bool()>& request) {
    if (!m_display) {
        return false;
    }
    XSync(m_display, False);
    g_errorSeen = false;
    XErrorHandler previous = XSetErrorHandler(recordError);
    const bool ok = request();
    XSync(m_display, False);
    XSetErrorHandler(previous);
    return ok && !g_errorSeen;
}

bool CX11Connection::clientSize_Locked(unsigned long xid, int* width, int* height) {
    XWindowAttributes attributes{};
    if (xid == 0 ||
        !checked_Locked([&] { return XGetWindowAttributes(m_display, xid, &attributes) != 0; })) {
        return false;
    }
    *width = attributes.width;
    *height = attributes.height;
    return true;
}

bool CX11Connection::toScreen_Locked(unsigned long xid, int* x, int* y) {
    int screenX = 0;
    int screenY = 0;
    Window child = 0;
    if (xid == 0 || !checked_Locked([&] {
            return XTranslateCoordinates(m_display, xid, DefaultRootWindow(m_display), *x, *y,
                                         &screenX, &screenY, &child) != 0;
        })) {
        return false;
    }
    *x = screenX;
    *y = screenY;
    return true;
}

bool CX11Connection::runChecked_Locked(const std::function<bool(Display*)>& request) {
    return checked_Locked([&] { return request(m_display); });
}
