#include "support/X11TestWindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

X11TestWindow::X11TestWindow(int width, int height, int x, int y)
    : m_display(XOpenDisplay(nullptr)), m_window(0), m_width(width), m_height(height) {
    if (!m_display) {
        return;
    }
    m_window =
        XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), x, y,
                            static_cast<unsigned>(width), static_cast<unsigned>(height), 0, 0, 0);
    XMapWindow(m_display, m_window);
    XSync(m_display, False);
}

X11TestWindow::~X11TestWindow() {
    if (m_display) {
        XDestroyWindow(m_display, m_window);
        XCloseDisplay(m_display);
    }
}

HWND X11TestWindow::handle() const {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(m_window));
}

std::vector<uint8_t> X11TestWindow::read(int* width, int* height) const {
    *width = m_width;
    *height = m_height;
    return readDrawable(m_display, m_window, 0, 0, m_width, m_height);
}

std::vector<uint8_t> X11TestWindow::readDrawable(_XDisplay* display, unsigned long drawable, int x,
                                                 int y, int width, int height) {
    std::vector<uint8_t> rgba;
    XImage* image = XGetImage(display, drawable, x, y, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image) {
        return rgba;
    }
    rgba.resize(static_cast<size_t>(width) * height * 4);
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            const unsigned long pixel = XGetPixel(image, column, row);
            uint8_t* out = &rgba[(static_cast<size_t>(row) * width + column) * 4];
            out[0] = static_cast<uint8_t>((pixel & image->red_mask) >> 16);
            out[1] = static_cast<uint8_t>((pixel & image->green_mask) >> 8);
            out[2] = static_cast<uint8_t>(pixel & image->blue_mask);
            out[3] = 0xFF;
        }
    }
    XDestroyImage(image);
    return rgba;
}
