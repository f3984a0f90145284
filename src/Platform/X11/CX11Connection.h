#pragma once

#include <functional>

#include "Common/CLock.h"

// Xlib's display, declared as Xlib does, so that users of the lock need not
// take in Xlib's macros.
typedef struct _XDisplay Display;

// The library's own connection to the X server named by $DISPLAY, opened on
// first use. The library never calls XInitThreads on the host's behalf, so
// every use of the display happens under mutex(): one thread at a time.
// X protocol errors caused by the library's requests (a window that went
// away, say) are caught and turned into failed calls instead of ending the
// process.
class CX11Connection {
public:
    // The process-wide connection; its display is null when no X server can
    // be reached.
    static CX11Connection& instance();

    // The X lock. There is one connection, so its lock is a single object
    // too, and every path to it names the same lock for the analysis.
    static RIVO_Common_Player::CLock& mutex() RETURN_CAPABILITY(s_lock) { return s_lock; }

    Display* display_Locked() const REQUIRES(s_lock) { return m_display; }

    // Runs request on the display and waits until the server has handled it:
    // false when request returns false or the server reports an error (also
    // false without a display).
    bool runChecked_Locked(const std::function<bool(Display*)>& request) REQUIRES(s_lock);
    // Runs request, which may use the display directly or through libraries
    // such as EGL, with X errors caught; false when request failed or any
    // error was reported.
    bool checked_Locked(const std::function<bool()>& request) REQUIRES(s_lock);

private:
    CX11Connection();

    static RIVO_Common_Player::CLock s_lock;
    Display* const m_display;
};
