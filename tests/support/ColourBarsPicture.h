#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "TavoPlayerCore/VideoRender/VideoPicture.h"

// A planar YUV 4:2:0 picture of eight vertical colour bars at BT.601
// limited-range levels: white, yellow, cyan, green, black, magenta, red,
// blue (no black at the edges, so a picture that does not reach the edge of
// a window shows). Rows may be padded, to give strides longer than a row.
class ColourBarsPicture {
public:
    static constexpr int kBars = 8;

    ColourBarsPicture(int width, int height, int lumaPadding = 0, int chromaPadding = 0);

    ColourBarsPicture(const ColourBarsPicture&) = delete;
    ColourBarsPicture& operator=(const ColourBarsPicture&) = delete;

    const VideoPicture& picture() const { return m_picture; }
    int width() const { return m_width; }
    int height() const { return m_height; }

    // The RGB a bar shows, from the BT.601 equations.
    static void expectedRgb(int bar, uint8_t rgb[3]);

    // Checks an RGBA image (top row first, tightly packed) for the whole
    // picture stretched over it: the centre of every bar in the top, middle
    // and bottom rows, and the first and last columns, within tolerance per
    // channel.
    static ::testing::AssertionResult fills(const std::vector<uint8_t>& rgba, int width, int height,
                                            int tolerance = 3);

private:
    int m_width;
    int m_height;
    std::vector<uint8_t> m_planes[3];
    VideoPicture m_picture;
};
