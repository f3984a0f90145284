#include "HostWindow.h"

#include <poll.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstdint>

namespace {

constexpr int kMinimumWidth = 160;
constexpr int kMinimumHeight = 120;

}  // namespace

HostWindow::HostWindow()
    : m_display(nullptr),
      m_window(0),
      m_deleteWindow(0),
      m_frameColour(0),
      m_selectedColour(0),
      m_width(0),
      m_height(0) {}

HostWindow::~HostWindow() {
    if (m_display) {
        if (m_window) {
            XDestroyWindow(m_display, m_window);
        }
        XCloseDisplay(m_display);
    }
}

bool HostWindow::open(int width, int height, std::string* error) {
    m_display = XOpenDisplay(nullptr);
    if (!m_display) {
        *error = "cannot open the display";
        return false;
    }
    const int screen = DefaultScreen(m_display);
    m_window = XCreateSimpleWindow(m_display, RootWindow(m_display, screen), 0, 0,
                                   static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                   BlackPixel(m_display, screen), BlackPixel(m_display, screen));
    m_width = width;
    m_height = height;
    XStoreName(m_display, m_window, "tavoplay");
    XClassHint classHint;
    classHint.res_name = const_cast<char*>("tavoplay");
    classHint.res_class = const_cast<char*>("Tavoplay");
    XSetClassHint(m_display, m_window, &classHint);
    XSizeHints* sizeHints = XAllocSizeHints();
    if (sizeHints) {
        sizeHints->flags = PMinSize;
        sizeHints->min_width = kMinimumWidth;
        sizeHints->min_height = kMinimumHeight;
        XSetWMNormalHints(m_display, m_window, sizeHints);
        XFree(sizeHints);
    }
    m_deleteWindow = XInternAtom(m_display, "WM_DELETE_WINDOW", False);
    Atom protocols[] = {m_deleteWindow};
    XSetWMProtocols(m_display, m_window, protocols, 1);
    // Clicks on a tile reach the top window, with the tile as subwindow.
    XSelectInput(m_display, m_window,
                 KeyPressMask | ButtonPressMask | ExposureMask | StructureNotifyMask);
    m_frameColour = colour("gray25", BlackPixel(m_display, screen));
    m_selectedColour = colour("gold", WhitePixel(m_display, screen));
    XMapWindow(m_display, m_window);
    XSync(m_display, False);
    return true;
}

unsigned long HostWindow::colour(const char* name, unsigned long fallback) {
    const int screen = DefaultScreen(m_display);
    XColor exact;
    XColor shown;
    if (XAllocNamedColor(m_display, DefaultColormap(m_display, screen), name, &shown, &exact)) {
        return shown.pixel;
    }
    return fallback;
}

void* HostWindow::addTile() {
    const int screen = DefaultScreen(m_display);
    const Window tile = XCreateSimpleWindow(m_display, m_window, 0, 0, 1, 1, GridView::kBorder,
                                            m_frameColour, BlackPixel(m_display, screen));
    m_tiles.push_back(tile);
    return reinterpret_cast<void*>(static_cast<uintptr_t>(tile));
}

void HostWindow::place(const std::vector<GridView::Rect>& rects, int selected) {
    for (size_t i = 0; i < rects.size() && i < m_tiles.size(); ++i) {
        const GridView::Rect& rect = rects[i];
        if (rect.width <= 0 || rect.height <= 0) {
            XUnmapWindow(m_display, m_tiles[i]);
            continue;
        }
        // The rect is the inside; the frame lies around it.
        XMoveResizeWindow(m_display, m_tiles[i], rect.x - GridView::kBorder,
                          rect.y - GridView::kBorder, static_cast<unsigned>(rect.width),
                          static_cast<unsigned>(rect.height));
        XSetWindowBorder(m_display, m_tiles[i],
                         static_cast<int>(i) == selected ? m_selectedColour : m_frameColour);
        XMapWindow(m_display, m_tiles[i]);
    }
    XSync(m_display, False);
}

void HostWindow::poll(int timeoutMs, std::vector<Command>* commands) {
    if (XPending(m_display) == 0) {
        pollfd connection{ConnectionNumber(m_display), POLLIN, 0};
        ::poll(&connection, 1, timeoutMs);
    }
    while (XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        translate(&event, commands);
    }
}

const char* HostWindow::keyHelp() {
    return "keys: space pause/resume, r replay the last minute/back to live, left/right seek 5 s,\n"
           "      p pause the replay, s snapshot, c recording on/off, +/- volume,\n"
           "      1/2/3 renderer DirectDraw/Direct3D/shader (next time it is created), q quit;\n"
           "      in a grid a click selects the tile the keys act on, f shows it alone";
}

void HostWindow::translate(_XEvent* event, std::vector<Command>* commands) {
    switch (event->type) {
        case Expose:
            if (event->xexpose.count == 0) {
                commands->push_back(Command::Repaint);
            }
            return;
        case ConfigureNotify:
            if (event->xconfigure.window == m_window &&
                (event->xconfigure.width != m_width || event->xconfigure.height != m_height)) {
                m_width = event->xconfigure.width;
                m_height = event->xconfigure.height;
                commands->push_back(Command::Resize);
            }
            return;
        case ButtonPress:
            for (size_t i = 0; i < m_tiles.size(); ++i) {
                if (event->xbutton.subwindow == m_tiles[i]) {
                    commands->push_back(Command(Command::SelectTile, static_cast<int>(i)));
                }
            }
            return;
        case ClientMessage:
            if (static_cast<Atom>(event->xclient.data.l[0]) == m_deleteWindow) {
                commands->push_back(Command::Quit);
            }
            return;
        case KeyPress:
            break;
        default:
            return;
    }
    KeySym key = NoSymbol;
    char text[8];
    XLookupString(&event->xkey, text, sizeof(text), &key, nullptr);
    switch (key) {
        case XK_space:
            commands->push_back(Command::TogglePause);
            break;
        case XK_r:
        case XK_R:
            commands->push_back(Command::ToggleReplay);
            break;
        case XK_Left:
            commands->push_back(Command::SeekBack);
            break;
        case XK_Right:
            commands->push_back(Command::SeekForward);
            break;
        case XK_p:
        case XK_P:
            commands->push_back(Command::ToggleReplayPause);
            break;
        case XK_s:
        case XK_S:
            commands->push_back(Command::Snapshot);
            break;
        case XK_c:
        case XK_C:
            commands->push_back(Command::ToggleRecording);
            break;
        case XK_plus:
        case XK_equal:
        case XK_KP_Add:
            commands->push_back(Command::VolumeUp);
            break;
        case XK_minus:
        case XK_KP_Subtract:
            commands->push_back(Command::VolumeDown);
            break;
        case XK_1:
        case XK_KP_1:
            commands->push_back(Command::RendererDDraw);
            break;
        case XK_2:
        case XK_KP_2:
            commands->push_back(Command::RendererD3D);
            break;
        case XK_3:
        case XK_KP_3:
            commands->push_back(Command::RendererShader);
            break;
        case XK_f:
        case XK_F:
            commands->push_back(Command::ToggleZoom);
            break;
        case XK_q:
        case XK_Q:
        case XK_Escape:
            commands->push_back(Command::Quit);
            break;
        default:
            break;
    }
}
