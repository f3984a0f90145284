#pragma once

#include <cstdint>

namespace simcam {

// Read-only brightness access to a decoded or displayed picture: a plane of
// 8-bit luma (the Y plane of a YUV picture) or packed RGB pixels, whose
// brightness is computed from the three colour bytes.
class LumaView {
public:
    static LumaView fromLuma(const uint8_t* plane, int stride, int width, int height);
    // Packed pixels of bytesPerPixel bytes (3 or 4) with red, green and blue
    // at the given byte offsets (0, 1, 2 for RGBA; 2, 1, 0 for BGRA).
    static LumaView fromRgb(const uint8_t* pixels, int stride, int width, int height,
                            int bytesPerPixel, int redOffset, int greenOffset, int blueOffset);

    int width() const { return m_width; }
    int height() const { return m_height; }
    // Brightness 0..255 at (x, y), which must lie inside the picture.
    int at(int x, int y) const;
    // Mean brightness over [x0, x1) x [y0, y1), clipped to the picture; 0
    // for an empty area.
    int meanOver(int x0, int y0, int x1, int y1) const;

private:
    LumaView(const uint8_t* pixels, int stride, int width, int height, int bytesPerPixel,
             int redOffset, int greenOffset, int blueOffset);

    const uint8_t* m_pixels;
    int m_stride;
    int m_width;
    int m_height;
    // 1 for a luma plane.
    int m_bytesPerPixel;
    int m_redOffset;
    int m_greenOffset;
    int m_blueOffset;
};

}  // namespace simcam
