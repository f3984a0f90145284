#pragma once

#include <cstdint>
#include <vector>

#include "TavoPlayerCore/VideoRender/VideoPicture.h"

// A planar YUV 4:2:0 picture for the renderer benchmarks: a luma ramp and two
// chroma ramps, rows without padding.
class BenchPicture {
public:
    BenchPicture(int width, int height);

    BenchPicture(const BenchPicture&) = delete;
    BenchPicture& operator=(const BenchPicture&) = delete;

    const VideoPicture& picture() const { return m_picture; }
    int width() const { return m_width; }
    int height() const { return m_height; }

private:
    int m_width;
    int m_height;
    std::vector<uint8_t> m_planes[3];
    VideoPicture m_picture;
};
