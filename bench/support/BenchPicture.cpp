#include "support/BenchPicture.h"

#include <cstddef>

BenchPicture::BenchPicture(int width, int height) : m_width(width), m_height(height), m_picture{} {
    const int widths[3] = {width, width / 2, width / 2};
    const int heights[3] = {height, height / 2, height / 2};
    for (int plane = 0; plane < 3; ++plane) {
        m_planes[plane].resize(static_cast<size_t>(widths[plane]) * heights[plane]);
        for (int y = 0; y < heights[plane]; ++y) {
            for (int x = 0; x < widths[plane]; ++x) {
                m_planes[plane][static_cast<size_t>(y) * widths[plane] + x] =
                    static_cast<uint8_t>(16 + (x + y * (plane + 1)) % 220);
            }
        }
        m_picture.data[plane] = m_planes[plane].data();
        m_picture.linesize[plane] = widths[plane];
    }
}
