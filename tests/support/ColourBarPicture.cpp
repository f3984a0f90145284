#include "support/ColourBarPicture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

struct Yuv {
    int y;
    int u;
    int v;
};

// 75% bars: white, yellow, cyan, green / magenta, red, blue, grey.
const Yuv kPatches[2][4] = {
    {{180, 128, 128}, {162, 44, 142}, {131, 156, 44}, {112, 72, 58}},
    {{84, 184, 198}, {65, 100, 212}, {35, 212, 114}, {126, 128, 128}},
};

int clampByte(double value) {
    return static_cast<int>(std::lround(std::min(255.0, std::max(0.0, value))));
}

}  // namespace

ColourBarPicture::ColourBarPicture(int width, int height)
    : m_width(width), m_height(height), m_picture{} {
    const int strides[3] = {width + 24, width / 2 + 12, width / 2 + 20};
    // Chroma planes of (height + 1) / 2 rows, as libavcodec lays out odd
    // heights: the last-picture copy reads (stride x height) / 2 bytes of them.
    const int rows[3] = {height, (height + 1) / 2, (height + 1) / 2};
    for (int plane = 0; plane < 3; ++plane) {
        // Padding bytes that must never show up.
        m_planes[plane].assign(static_cast<size_t>(strides[plane]) * rows[plane], 0);
        m_picture.data[plane] = m_planes[plane].data();
        m_picture.linesize[plane] = strides[plane];
    }
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 4; ++column) {
            const Yuv& colour = kPatches[row][column];
            const int x0 = columnStart(column);
            const int x1 = column == 3 ? width : columnStart(column + 1);
            const int y0 = rowStart(row);
            const int y1 = row == 1 ? height : rowStart(row + 1);
            for (int y = y0; y < y1; ++y) {
                std::fill_n(&m_planes[0][static_cast<size_t>(y) * strides[0] + x0], x1 - x0,
                            static_cast<uint8_t>(colour.y));
            }
            for (int y = y0 / 2; y < std::min((y1 + 1) / 2, rows[1]); ++y) {
                const int cx1 = std::min(x1 / 2, width / 2);
                std::fill_n(&m_planes[1][static_cast<size_t>(y) * strides[1] + x0 / 2],
                            cx1 - x0 / 2, static_cast<uint8_t>(colour.u));
                std::fill_n(&m_planes[2][static_cast<size_t>(y) * strides[2] + x0 / 2],
                            cx1 - x0 / 2, static_cast<uint8_t>(colour.v));
            }
        }
    }
}

int ColourBarPicture::columnStart(int column) const {
    return (m_width * column / 4) & ~1;
}

int ColourBarPicture::rowStart(int row) const {
    return (m_height * row / 2) & ~1;
}

ColourBarPicture::Rgb ColourBarPicture::expectedColour(int column, int row) {
    const Yuv& c = kPatches[row][column];
    const double y = 1.164383 * (c.y - 16);
    const double u = c.u - 128;
    const double v = c.v - 128;
    return Rgb{clampByte(y + 1.596027 * v), clampByte(y - 0.391762 * u - 0.812968 * v),
               clampByte(y + 2.017232 * u)};
}

void ColourBarPicture::patchCentre(int column, int row, int windowWidth, int windowHeight, int* x,
                                   int* y) const {
    const int x1 = column == 3 ? m_width : columnStart(column + 1);
    const int y1 = row == 1 ? m_height : rowStart(row + 1);
    const double centreX = (columnStart(column) + x1) / 2.0;
    const double centreY = (rowStart(row) + y1) / 2.0;
    *x = static_cast<int>(centreX * windowWidth / m_width);
    *y = static_cast<int>(centreY * windowHeight / m_height);
}

void ColourBarPicture::expectShownIn(const uint8_t* rgba, int strideBytes, int width, int height,
                                     int tolerance) const {
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 4; ++column) {
            int x = 0;
            int y = 0;
            patchCentre(column, row, width, height, &x, &y);
            const uint8_t* pixel = rgba + static_cast<size_t>(y) * strideBytes + x * 4;
            const Rgb expected = expectedColour(column, row);
            EXPECT_NEAR(expected.r, pixel[0], tolerance) << "patch " << column << "," << row;
            EXPECT_NEAR(expected.g, pixel[1], tolerance) << "patch " << column << "," << row;
            EXPECT_NEAR(expected.b, pixel[2], tolerance) << "patch " << column << "," << row;
        }
    }
    int blackEdgePixels = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (y != 0 && y != height - 1 && x != 0 && x != width - 1) {
                continue;
            }
            const uint8_t* pixel = rgba + static_cast<size_t>(y) * strideBytes + x * 4;
            if (std::max({pixel[0], pixel[1], pixel[2]}) < 40) {
                ++blackEdgePixels;
            }
        }
    }
    EXPECT_EQ(0, blackEdgePixels) << "the picture does not reach the window's edges";
}

void ColourBarPicture::expectShownIn(const OffscreenTestWindow& window, int tolerance) const {
    int width = 0;
    int height = 0;
    const std::vector<uint8_t> pixels = window.read(&width, &height);
    expectShownIn(pixels.data(), width * 4, width, height, tolerance);
}
