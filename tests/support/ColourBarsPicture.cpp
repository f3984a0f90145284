#include "support/ColourBarsPicture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {

// Y, Cb, Cr of each bar: 100 % bars at BT.601 limited-range levels.
const uint8_t kBarYuv[ColourBarsPicture::kBars][3] = {
    {235, 128, 128},  // white
    {210, 16, 146},   // yellow
    {170, 166, 16},   // cyan
    {145, 54, 34},    // green
    {16, 128, 128},   // black
    {106, 202, 222},  // magenta
    {81, 90, 240},    // red
    {41, 240, 110},   // blue
};

int barAt(int x, int width) {
    return x * ColourBarsPicture::kBars / width;
}

uint8_t clampToByte(double value) {
    return static_cast<uint8_t>(std::lround(std::min(255.0, std::max(0.0, value))));
}

}  // namespace

ColourBarsPicture::ColourBarsPicture(int width, int height, int lumaPadding, int chromaPadding)
    : m_width(width), m_height(height), m_picture{} {
    const int chromaWidth = (width + 1) / 2;
    const int chromaHeight = (height + 1) / 2;
    const int strides[3] = {width + lumaPadding, chromaWidth + chromaPadding,
                            chromaWidth + chromaPadding};
    const int rows[3] = {height, chromaHeight, chromaHeight};
    for (int plane = 0; plane < 3; ++plane) {
        // Padding bytes hold a value no bar has, so that reading them shows.
        m_planes[plane].assign(static_cast<size_t>(strides[plane]) * rows[plane], 0xEE);
        const int columns = plane == 0 ? width : chromaWidth;
        for (int y = 0; y < rows[plane]; ++y) {
            for (int x = 0; x < columns; ++x) {
                const int lumaX = plane == 0 ? x : std::min(2 * x, width - 1);
                m_planes[plane][static_cast<size_t>(y) * strides[plane] + x] =
                    kBarYuv[barAt(lumaX, width)][plane];
            }
        }
        m_picture.data[plane] = m_planes[plane].data();
        m_picture.linesize[plane] = strides[plane];
    }
}

void ColourBarsPicture::expectedRgb(int bar, uint8_t rgb[3]) {
    const double y = (kBarYuv[bar][0] - 16) * 255.0 / 219.0;
    const double u = (kBarYuv[bar][1] - 128) * 255.0 / 224.0;
    const double v = (kBarYuv[bar][2] - 128) * 255.0 / 224.0;
    rgb[0] = clampToByte(y + 1.402 * v);
    rgb[1] = clampToByte(y - 0.344136 * u - 0.714136 * v);
    rgb[2] = clampToByte(y + 1.772 * u);
}

::testing::AssertionResult ColourBarsPicture::fills(const std::vector<uint8_t>& rgba, int width,
                                                    int height, int tolerance) {
    if (width <= 0 || height <= 0 || rgba.size() < static_cast<size_t>(width) * height * 4) {
        return ::testing::AssertionFailure() << "no image of " << width << " x " << height;
    }
    struct Point {
        int x;
        int y;
        int bar;
    };
    std::vector<Point> points;
    for (int y : {0, height / 2, height - 1}) {
        for (int bar = 0; bar < kBars; ++bar) {
            points.push_back(Point{(2 * bar + 1) * width / (2 * kBars), y, bar});
        }
        points.push_back(Point{0, y, 0});
        points.push_back(Point{width - 1, y, kBars - 1});
    }
    for (const Point& point : points) {
        const uint8_t* pixel = &rgba[(static_cast<size_t>(point.y) * width + point.x) * 4];
        uint8_t expected[3];
        expectedRgb(point.bar, expected);
        for (int channel = 0; channel < 3; ++channel) {
            if (std::abs(pixel[channel] - expected[channel]) > tolerance) {
                return ::testing::AssertionFailure()
                       << "pixel (" << point.x << ", " << point.y << ") of bar " << point.bar
                       << " is " << int(pixel[0]) << "," << int(pixel[1]) << "," << int(pixel[2])
                       << ", expected " << int(expected[0]) << "," << int(expected[1]) << ","
                       << int(expected[2]);
            }
        }
    }
    return ::testing::AssertionSuccess();
}
