#pragma once

#include <cstdint>
#include <vector>

#include "TavoPlayerCore/VideoRender/VideoPicture.h"
#include "support/OffscreenTestWindow.h"

// A planar YUV 4:2:0 test picture of eight patches (four columns, two rows) of
// 75% colour bars in BT.601 limited-range YCbCr, none of them black, with
// strides wider than the rows. Patch edges fall on even columns and rows, so
// each patch has uniform chroma.
class ColourBarPicture {
public:
    struct Rgb {
        int r;
        int g;
        int b;
    };

    ColourBarPicture(int width, int height);

    const VideoPicture& picture() const { return m_picture; }
    int width() const { return m_width; }
    int height() const { return m_height; }

    // The RGB colour that patch (column 0..3, row 0..1) should show, by the
    // BT.601 limited-range equations.
    static Rgb expectedColour(int column, int row);
    // The centre of a patch scaled into a window of the given size.
    void patchCentre(int column, int row, int windowWidth, int windowHeight, int* x, int* y) const;

    // Checks every patch centre of an RGBA image (top row first) within
    // tolerance per channel, and that no pixel of its outer frame is black
    // (the picture covers the whole image). Reports through GoogleTest.
    void expectShownIn(const uint8_t* rgba, int strideBytes, int width, int height,
                       int tolerance = 3) const;
    // The same for what an offscreen window shows.
    void expectShownIn(const OffscreenTestWindow& window, int tolerance = 3) const;

private:
    int columnStart(int column) const;
    int rowStart(int row) const;

    int m_width;
    int m_height;
    std::vector<uint8_t> m_planes[3];
    VideoPicture m_picture;
};
