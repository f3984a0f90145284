#pragma once

#include <string>
#include <vector>

#include "Command.h"

// Xlib's types, declared here so that its macros (None, Status, ...) stay
// out of the files that include this one.
struct _XDisplay;
union _XEvent;

// The program's own resizable X11 window, on a display connection of its own
// (the engine opens another one), used from one thread only. Its id is the
// window handle the player draws into. Keys and window events become
// commands.
class HostWindow {
public:
    HostWindow();
    ~HostWindow();

    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    // Opens $DISPLAY and shows a window of the given size with the title
    // "tavoplay". False with the reason when that fails.
    bool open(int width, int height, std::string* error);
    // The handle for PARAM_WINDOW: the X11 window id.
    void* handle() const;
    // Waits up to timeoutMs for events and appends the commands they ask for.
    void poll(int timeoutMs, std::vector<Command>* commands);

    // Keys and what they do, for the help text.
    static const char* keyHelp();

private:
    void translate(_XEvent* event, std::vector<Command>* commands);

    _XDisplay* m_display;
    unsigned long m_window;        // Window
    unsigned long m_deleteWindow;  // Atom
    int m_width;
    int m_height;
};
