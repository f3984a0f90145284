#pragma once

#include <cstdint>

// libxcb's connection, declared as libxcb does.
struct xcb_connection_t;

// A second connection of the library's to the X server named by $DISPLAY,
// opened on first use, for what every picture asks and puts (a window's
// size and its place on the screen, the DirectDraw renderer's images).
// libxcb is safe for use from many threads at once and hands each request's
// error back with its reply, so its users take no lock: a wall of players
// asks and puts concurrently, where under the Xlib connection's one lock
// each player's round trips waited for every other player's. (Beyond the
// engine's Windows-era window calls, which ask the system in place; the Xlib
// connection stays for what needs Xlib: EGL.)
class CXcbConnection {
public:
    // The process-wide connection.
    static CXcbConnection& instance();

    // The connection, null without a server.
    xcb_connection_t* connection() const { return m_root != 0 ? m_connection : nullptr; }

    // The window's size. False for an unknown window or without a server.
    bool clientSize(uint32_t window, int* width, int* height);
    // Translates a point of the window to coordinates of the root window of
    // $DISPLAY's screen. False for an unknown window or without a server.
    bool toScreen(uint32_t window, int* x, int* y);

private:
    CXcbConnection();

    int m_screen = 0;  // set by the connection, before m_root is
    xcb_connection_t* const m_connection;
    const uint32_t m_root;  // 0 without a server
};
