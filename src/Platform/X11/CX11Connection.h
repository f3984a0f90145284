#pragma once

#include <X11/Xlib.h>

#include <functional>
#include <mutex>

// The library's own connection to the X server named by $DISPLAY, opened on
// first use. The library never calls XInitThreads on the host's behalf, so
// every use of the display goes through lock(): one thread at a time.
// X protocol errors caused by the library's requests (a window that went
// away, say) are caught and turned into failed calls instead of ending the
// process.
class CX11Connection {
public:
    // The process-wide connection; its display() is null when no X server
    // can be reached.
    static CX11Connection& instance();

    std::unique_lock<std::mutex> lock() { return std::unique_lock<std::mutex>(m_mutex); }
    // Call with lock() held.
    Display* display() const { return m_display; }

    // True when xid names a window of this display. Call with lock() held.
    bool isWindow_Locked(unsigned long xid);
    // The window's size. False for an unknown window. Call with lock() held.
    bool clientSize_Locked(unsigned long xid, int* width, int* height);
    // Translates a point of the window to root-window coordinates. Call with lock() held.
    bool toScreen_Locked(unsigned long xid, int* x, int* y);
    // Runs request on the display and waits until the server has handled it:
    // false when request returns false or the server reports an error (also
    // false without a display). Call with lock() held.
    bool runChecked_Locked(const std::function<bool(Display*)>& request);
    // Runs request, which may use the display directly or through libraries
    // such as EGL, with X errors caught; false when request failed or any
    // error was reported. Call with lock() held.
    bool checked_Locked(const std::function<bool()>& request);

private:
    CX11Connection();

    std::mutex m_mutex;
    Display* m_display;
};
