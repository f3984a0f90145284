// GoogleTest comes before Xlib, whose macros (None, Bool) clash with its names.
#include <gtest/gtest.h>

#include "Platform/X11/CX11WindowImage.h"

#include <X11/Xutil.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/XvfbServer.h"

namespace {

// Puts a 30 x 20 part of a gradient image at (60, 70) of a 100 x 80 window,
// so that its bottom half falls outside, and reads the window back.
void expectPartOfTheImageInTheWindow(const std::vector<std::string>& serverArguments, bool shared) {
    XvfbServer server(320, 240, serverArguments);
    ASSERT_TRUE(server.started());
    Display* display = XOpenDisplay(server.display().c_str());
    ASSERT_NE(nullptr, display);
    Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 10, 10, 100, 80, 0, 0, 0);
    XMapWindow(display, window);
    XSync(display, False);
    {
        CX11WindowImage image;
        uint8_t* pixels = nullptr;
        int stride = 0;
        AVPixelFormat format = AV_PIX_FMT_NONE;
        ASSERT_TRUE(image.prepare(window, 50, 40, &pixels, &stride, &format));
        EXPECT_EQ(shared, image.shared());
        ASSERT_EQ(AV_PIX_FMT_BGR0, format);  // Xvfb's 24-bit true colour on this machine
        for (int y = 0; y < 40; ++y) {
            for (int x = 0; x < 50; ++x) {
                uint8_t* pixel = pixels + y * stride + x * 4;
                pixel[0] = static_cast<uint8_t>(x * 5);  // blue
                pixel[1] = static_cast<uint8_t>(y * 6);  // green
                pixel[2] = 0x80;                         // red
            }
        }
        ASSERT_TRUE(image.put(window, 10, 5, 30, 20, 60, 70));

        XImage* shown = XGetImage(display, window, 0, 0, 100, 80, AllPlanes, ZPixmap);
        ASSERT_NE(nullptr, shown);
        for (int y = 0; y < 80; ++y) {
            for (int x = 0; x < 100; ++x) {
                const bool inside = x >= 60 && x < 90 && y >= 70;
                const unsigned long expected =
                    inside ? 0x800000ul | ((y - 70 + 5) * 6) << 8 | (x - 60 + 10) * 5 : 0;
                ASSERT_EQ(expected, XGetPixel(shown, x, y) & 0xFFFFFF) << x << "," << y;
            }
        }
        XDestroyImage(shown);

        XDestroyWindow(display, window);
        XSync(display, False);
        EXPECT_FALSE(image.put(window, 0, 0, 10, 10, 0, 0));
        EXPECT_FALSE(image.prepare(window, 50, 40, &pixels, &stride, &format));
    }
    XCloseDisplay(display);
}

}  // namespace

TEST(CX11WindowImage, SharedMemoryImagesWhereTheServerHasThem) {
    expectPartOfTheImageInTheWindow({}, true);
}

TEST(CX11WindowImage, PlainImagesOtherwise) {
    expectPartOfTheImageInTheWindow({"-extension", "MIT-SHM"}, false);
}
