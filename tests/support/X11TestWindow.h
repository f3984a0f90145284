#pragma once

#include <cstdint>
#include <vector>

#include "Platform/Win32/Win32Types.h"

struct _XDisplay;

// A mapped X11 window on $DISPLAY (a test's private Xvfb), made over a
// connection of the test's own, as a host's toolkit would make it.
class X11TestWindow {
public:
    // At (x, y) of the root window.
    X11TestWindow(int width, int height, int x = 10, int y = 10);
    ~X11TestWindow();

    X11TestWindow(const X11TestWindow&) = delete;
    X11TestWindow& operator=(const X11TestWindow&) = delete;

    // False when the display could not be opened.
    bool valid() const { return m_display != nullptr; }
    // The window as a window handle for the engine.
    HWND handle() const;
    // The window's pixels from the server (XGetImage) as RGBA, top row first.
    std::vector<uint8_t> read(int* width, int* height) const;

    // What the server shows in a rectangle of any drawable of display, as
    // RGBA, top row first; empty when the server gives no image.
    static std::vector<uint8_t> readDrawable(_XDisplay* display, unsigned long drawable, int x,
                                             int y, int width, int height);

private:
    _XDisplay* m_display;
    unsigned long m_window;
    int m_width;
    int m_height;
};
