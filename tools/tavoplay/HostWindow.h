#pragma once

#include <string>
#include <vector>

#include "Command.h"
#include "GridView.h"

// Xlib's types, declared here so that its macros (None, Status, ...) stay
// out of the files that include this one.
struct _XDisplay;
union _XEvent;

// The program's own resizable X11 window, on a display connection of its own
// (the engine opens another one), used from one thread only. It holds one
// child window per tile, whose ids are the window handles the players draw
// into. Keys, clicks on tiles and window events become commands.
class HostWindow {
public:
    HostWindow();
    ~HostWindow();

    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    // Opens $DISPLAY and shows a window of the given size with the title
    // "tavoplay". False with the reason when that fails.
    bool open(int width, int height, std::string* error);
    // Adds a tile: a child window, placed by place(). Returns its handle for
    // PARAM_WINDOW, the X11 window id.
    void* addTile();
    // Moves and sizes the tiles (GridView's rects, tile order); a tile of
    // width 0 is hidden. The selected tile's frame is drawn in a light colour.
    void place(const std::vector<GridView::Rect>& rects, int selected);
    int width() const { return m_width; }
    int height() const { return m_height; }
    // Waits up to timeoutMs for events and appends the commands they ask for.
    void poll(int timeoutMs, std::vector<Command>* commands);

    // Keys and what they do, for the help text.
    static const char* keyHelp();

private:
    void translate(_XEvent* event, std::vector<Command>* commands);
    // A named colour's pixel value, or fallback.
    unsigned long colour(const char* name, unsigned long fallback);

    _XDisplay* m_display;
    unsigned long m_window;              // Window
    unsigned long m_deleteWindow;        // Atom
    std::vector<unsigned long> m_tiles;  // Window
    unsigned long m_frameColour;         // pixel values of the tiles' frames
    unsigned long m_selectedColour;
    int m_width;
    int m_height;
};
