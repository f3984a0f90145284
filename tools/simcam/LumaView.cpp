#include "simcam/LumaView.h"

#include <algorithm>

namespace simcam {

LumaView LumaView::fromLuma(const uint8_t* plane, int stride, int width, int height) {
    return LumaView(plane, stride, width, height, 1, 0, 0, 0);
}

LumaView LumaView::fromRgb(const uint8_t* pixels, int stride, int width, int height,
                           int bytesPerPixel, int redOffset, int greenOffset, int blueOffset) {
    return LumaView(pixels, stride, width, height, bytesPerPixel, redOffset, greenOffset,
                    blueOffset);
}

LumaView::LumaView(const uint8_t* pixels, int stride, int width, int height, int bytesPerPixel,
                   int redOffset, int greenOffset, int blueOffset)
    : m_pixels(pixels),
      m_stride(stride),
      m_width(width),
      m_height(height),
      m_bytesPerPixel(bytesPerPixel),
      m_redOffset(redOffset),
      m_greenOffset(greenOffset),
      m_blueOffset(blueOffset) {}

int LumaView::at(int x, int y) const {
    const uint8_t* pixel =
        m_pixels + static_cast<long>(y) * m_stride + static_cast<long>(x) * m_bytesPerPixel;
    if (m_bytesPerPixel == 1) {
        return pixel[0];
    }
    // BT.601 weights in 1/256.
    return (77 * pixel[m_redOffset] + 150 * pixel[m_greenOffset] + 29 * pixel[m_blueOffset]) >> 8;
}

int LumaView::meanOver(int x0, int y0, int x1, int y1) const {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, m_width);
    y1 = std::min(y1, m_height);
    if (x0 >= x1 || y0 >= y1) {
        return 0;
    }
    long sum = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            sum += at(x, y);
        }
    }
    return static_cast<int>(sum / (static_cast<long>(x1 - x0) * (y1 - y0)));
}

}  // namespace simcam
