#pragma once

#include <cstdint>
#include <vector>

#include "simcam/LumaView.h"
#include "simcam/TestPattern.h"
#include "tavoplayer/TavoOffscreenWindow.h"

// An offscreen window for a player to draw into, read back the way a host
// reads what is on screen: grab() copies the pixels, after which the picture
// number of the camera's pattern and the flash can be read from the copy.
class OffscreenScreen {
public:
    OffscreenScreen(int width, int height)
        : m_window(tavoCreateOffscreenWindow(width, height)),
          m_width(width),
          m_height(height),
          m_pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4) {}
    ~OffscreenScreen() { tavoDestroyOffscreenWindow(m_window); }

    OffscreenScreen(const OffscreenScreen&) = delete;
    OffscreenScreen& operator=(const OffscreenScreen&) = delete;

    void* handle() const { return m_window; }

    // Copies what is on screen now; false when the window cannot be read.
    bool grab() {
        int width = 0;
        int height = 0;
        return m_window &&
               tavoReadOffscreenWindow(m_window, m_pixels.data(), m_width * 4, &width, &height) ==
                   0 &&
               width == m_width && height == m_height;
    }

    // The picture number in the last grab, or -1 when none can be read (a
    // black window before the first picture).
    int64_t pictureNumber() const { return simcam::TestPattern::readNumber(view()); }
    // Whether the last grab shows a flash picture.
    bool isFlash() const { return simcam::TestPattern::isFlash(view()); }

private:
    simcam::LumaView view() const {
        return simcam::LumaView::fromRgb(m_pixels.data(), m_width * 4, m_width, m_height, 4, 0, 1,
                                         2);
    }

    void* m_window;
    int m_width;
    int m_height;
    std::vector<uint8_t> m_pixels;
};
