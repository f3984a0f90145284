#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "TavoPlayerCore/VideoRender/VideoPicture.h"
#include "support/OffscreenTestWindow.h"

// A planar YUV 4:2:0 picture of eight vertical colour bars at BT.601
// limited-range levels: white, yellow, cyan, green, black, magenta, red,
// blue (no black at the edges, so a picture that does not reach the edge of
// a window shows). Rows are padded with zeros, a value no bar has: by
// default, so that strides are longer than rows; the V plane by twice the U
// plane's padding, so that a renderer mixing up the chroma strides shows.
class ColourBarPicture {
public:
    static constexpr int kBars = 8;

    ColourBarPicture(int width, int height, int lumaPadding = 24, int chromaPadding = 12);

    ColourBarPicture(const ColourBarPicture&) = delete;
    ColourBarPicture& operator=(const ColourBarPicture&) = delete;

    const VideoPicture& picture() const { return m_picture; }
    int width() const { return m_width; }
    int height() const { return m_height; }

    // The RGB a bar shows, from the BT.601 equations.
    static void expectedRgb(int bar, uint8_t rgb[3]);

    // Checks an RGBA image (top row first, tightly packed) for the whole
    // picture stretched over it: the centre of every bar in the top, middle
    // and bottom rows within tolerance per channel, and no black in the
    // first and last columns of those rows.
    static ::testing::AssertionResult fills(const std::vector<uint8_t>& rgba, int width, int height,
                                            int tolerance = 3);
    // Expects fills() of an RGBA image with rows of strideBytes, or of what
    // an offscreen window shows.
    static void expectShownIn(const uint8_t* rgba, int strideBytes, int width, int height);
    static void expectShownIn(const OffscreenTestWindow& window);

private:
    int m_width;
    int m_height;
    std::vector<uint8_t> m_planes[3];
    VideoPicture m_picture;
};
