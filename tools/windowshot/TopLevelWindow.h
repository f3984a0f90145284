#pragma once

#include <X11/Xlib.h>

#include <cstring>

// The top-level window of the display with this name, or 0.
inline Window findTopLevelWindow(Display* display, const char* name) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    Window found = 0;
    XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
    for (unsigned i = 0; i < count && !found; ++i) {
        char* title = nullptr;
        if (XFetchName(display, children[i], &title) && title) {
            found = std::strcmp(title, name) == 0 ? children[i] : 0;
            XFree(title);
        }
    }
    XFree(children);
    return found;
}
