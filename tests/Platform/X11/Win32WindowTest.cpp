// GoogleTest comes before Xlib, whose macros (None, Bool) clash with its names.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include "Platform/X11/Win32Window.h"

#include <cstdint>
#include <vector>

#include "support/XvfbServer.h"
#include "tavoplayer/TavoOffscreenWindow.h"

// Their client size and screen place show in what the renderers draw into
// them; here: reading back, and handles that are gone.
TEST(Win32Window, OffscreenWindowsReadBackUntilDestroyed) {
    void* window = tavoCreateOffscreenWindow(320, 200);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(0, tavoResizeOffscreenWindow(window, 64, 48));
    int width = 0;
    int height = 0;
    EXPECT_EQ(0, tavoReadOffscreenWindow(window, nullptr, 0, &width, &height));
    EXPECT_EQ(64, width);
    std::vector<unsigned char> pixels(64 * 48 * 4, 7);
    EXPECT_EQ(-1, tavoReadOffscreenWindow(window, pixels.data(), 63 * 4, &width, &height));
    EXPECT_EQ(0, tavoReadOffscreenWindow(window, pixels.data(), 64 * 4, &width, &height));
    EXPECT_EQ(0, pixels[0]);
    EXPECT_EQ(0xFF, pixels[3]);  // opaque black until something is presented

    // Unknown handles, a destroyed window among them, have an empty client area.
    tavoDestroyOffscreenWindow(window);
    int dummy = 0;
    for (void* handle : {static_cast<void*>(nullptr), window, static_cast<void*>(&dummy)}) {
        RECT rect{1, 2, 3, 4};
        EXPECT_FALSE(GetClientRect(handle, &rect));
        EXPECT_EQ(0, rect.right);
        EXPECT_EQ(0, rect.bottom);
        POINT point{5, 6};
        EXPECT_FALSE(ClientToScreen(handle, &point));
        EXPECT_EQ(5, point.x);
    }
    EXPECT_EQ(-1, tavoResizeOffscreenWindow(window, 8, 8));
}

TEST(Win32Window, X11WindowsAnswerThroughTheServer) {
    XvfbServer server;
    ASSERT_TRUE(server.started());
    Display* display = XOpenDisplay(server.display().c_str());
    ASSERT_NE(nullptr, display);
    Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 30, 40, 400, 300, 0, 0, 0);
    XMapWindow(display, window);
    XSync(display, False);

    HWND handle = reinterpret_cast<HWND>(static_cast<uintptr_t>(window));
    RECT rect{};
    EXPECT_TRUE(GetClientRect(handle, &rect));
    EXPECT_EQ(400, rect.right);
    EXPECT_EQ(300, rect.bottom);
    POINT point{10, 20};
    EXPECT_TRUE(ClientToScreen(handle, &point));
    EXPECT_EQ(40, point.x);
    EXPECT_EQ(60, point.y);

    XDestroyWindow(display, window);
    XSync(display, False);
    EXPECT_FALSE(GetClientRect(handle, &rect));  // a window that went away is unknown
    XCloseDisplay(display);
}
