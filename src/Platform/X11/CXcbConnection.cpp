#include "Platform/X11/CXcbConnection.h"

#include <xcb/xcb.h>

#include <cstdlib>

CXcbConnection& CXcbConnection::instance() {
    // Never destroyed, like the Xlib connection: the socket closes with the
    // process.
    static CXcbConnection* connection = new CXcbConnection();
    return *connection;
}

namespace {

// The root window of the screen $DISPLAY names, 0 without one.
xcb_window_t defaultRoot(xcb_connection_t* connection, int screen) {
    if (xcb_connection_has_error(connection) != 0) {
        return 0;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screen && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    return screens.rem > 0 ? screens.data->root : 0;
}

}  // namespace

CXcbConnection::CXcbConnection()
    : m_connection(xcb_connect(nullptr, &m_screen)), m_root(defaultRoot(m_connection, m_screen)) {}

bool CXcbConnection::clientSize(uint32_t window, int* width, int* height) {
    if (m_root == 0) {
        return false;
    }
    xcb_generic_error_t* error = nullptr;
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), &error);
    std::free(error);
    if (!geometry) {
        return false;
    }
    *width = geometry->width;
    *height = geometry->height;
    std::free(geometry);
    return true;
}

bool CXcbConnection::toScreen(uint32_t window, int* x, int* y) {
    if (m_root == 0) {
        return false;
    }
    xcb_generic_error_t* error = nullptr;
    xcb_translate_coordinates_reply_t* translated = xcb_translate_coordinates_reply(
        m_connection,
        xcb_translate_coordinates(m_connection, window, m_root, static_cast<int16_t>(*x),
                                  static_cast<int16_t>(*y)),
        &error);
    std::free(error);
    if (!translated) {
        return false;
    }
    *x = translated->dst_x;
    *y = translated->dst_y;
    std::free(translated);
    return true;
}
