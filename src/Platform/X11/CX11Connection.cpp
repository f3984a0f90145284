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
    // Each sync is a round trip to the server, and a wall of players draws
    // hundreds of pictures a second over this one connection: the sync
    // before the request, which keeps earlier requests' errors out of its
    // result, is left out when the server has answered every request sent.
    if (NextRequest(m_display) - 1 != LastKnownRequestProcessed(m_display)) {
        XSync(m_display, False);
    }
    g_errorSeen = false;
    XErrorHandler previous = XSetErrorHandler(recordError);
    const bool ok = request();
    XSync(m_display, False);
    XSetErrorHandler(previous);
    return ok && !g_errorSeen;
}

bool CX11Connection::runChecked_Locked(const std::function<bool(Display*)>& request) {
    return checked_Locked([&] { return request(m_display); });
}
