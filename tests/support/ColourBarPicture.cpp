#include "support/ColourBarPicture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// Y, Cb, Cr of each bar: 100 % bars at BT.601 limited-range levels.
const uint8_t kBarYuv[ColourBarPicture::kBars][3] = {
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
    return x * ColourBarPicture::kBars / width;
}

uint8_t clampToByte(double value) {
    return static_cast<uint8_t>(std::lround(std::min(255.0, std::max(0.0, value))));
}

}  // namespace

ColourBarPicture::ColourBarPicture(int width, int height, int lumaPadding, int chromaPadding)
    : m_width(width), m_height(height), m_picture{} {
    // Chroma planes of (width + 1) / 2 by (height + 1) / 2, as libavcodec
    // lays out odd sizes.
    const int chromaWidth = (width + 1) / 2;
    const int chromaHeight = (height + 1) / 2;
    const int strides[3] = {width + lumaPadding, chromaWidth + chromaPadding,
                            chromaWidth + 2 * chromaPadding};
    const int rows[3] = {height, chromaHeight, chromaHeight};
    for (int plane = 0; plane < 3; ++plane) {
        m_planes[plane].assign(static_cast<size_t>(strides[plane]) * rows[plane], 0);
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

void ColourBarPicture::expectedRgb(int bar, uint8_t rgb[3]) {
    const double y = (kBarYuv[bar][0] - 16) * 255.0 / 219.0;
    const double u = (kBarYuv[bar][1] - 128) * 255.0 / 224.0;
    const double v = (kBarYuv[bar][2] - 128) * 255.0 / 224.0;
    rgb[0] = clampToByte(y + 1.402 * v);
    rgb[1] = clampToByte(y - 0.344136 * u - 0.714136 * v);
    rgb[2] = clampToByte(y + 1.772 * u);
}

::testing::AssertionResult ColourBarPicture::fills(const std::vector<uint8_t>& rgba, int width,
                                                   int height, int tolerance) {
    if (width <= 0 || height <= 0 || rgba.size() < static_cast<size_t>(width) * height * 4) {
        return ::testing::AssertionFailure() << "no image of " << width << " x " << height;
    }
    for (int y : {0, height / 2, height - 1}) {
        for (int bar = 0; bar < kBars; ++bar) {
            const int x = (2 * bar + 1) * width / (2 * kBars);
            const uint8_t* pixel = &rgba[(static_cast<size_t>(y) * width + x) * 4];
            uint8_t expected[3];
            expectedRgb(bar, expected);
            for (int channel = 0; channel < 3; ++channel) {
                if (std::abs(pixel[channel] - expected[channel]) > tolerance) {
                    return ::testing::AssertionFailure()
                           << "pixel (" << x << ", " << y << ") of bar " << bar << " is "
                           << int(pixel[0]) << "," << int(pixel[1]) << "," << int(pixel[2])
                           << ", expected " << int(expected[0]) << "," << int(expected[1]) << ","
                           << int(expected[2]);
                }
            }
        }
        // Filtering may blend the outermost pixels, but they are not black.
        for (int x : {0, width - 1}) {
            const uint8_t* pixel = &rgba[(static_cast<size_t>(y) * width + x) * 4];
            if (std::max({pixel[0], pixel[1], pixel[2]}) < 40) {
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") is black: the picture does not reach "
                       << "the edge";
            }
        }
    }
    return ::testing::AssertionSuccess();
}

void ColourBarPicture::expectShownIn(const uint8_t* rgba, int strideBytes, int width, int height) {
    std::vector<uint8_t> packed;
    for (int y = 0; y < height; ++y) {
        packed.insert(packed.end(), rgba + y * strideBytes, rgba + y * strideBytes + width * 4);
    }
    EXPECT_TRUE(fills(packed, width, height));
}

void ColourBarPicture::expectShownIn(const OffscreenTestWindow& window) {
    int width = 0;
    int height = 0;
    const std::vector<uint8_t> rgba = window.read(&width, &height);
    EXPECT_TRUE(fills(rgba, width, height));
}
