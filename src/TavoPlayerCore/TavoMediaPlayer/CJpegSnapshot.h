#pragma once

#include <cstdint>

#include "TavoPlayerCore/VideoRender/VideoPicture.h"

// Writes one planar YUV 4:2:0 picture as a JPEG file: the planes are packed
// into one tight buffer (a block copy when the luma stride equals the width,
// row by row otherwise) and encoded with libavcodec's MJPEG encoder through
// libavformat's "mjpeg" muxer.
class CJpegSnapshot {
public:
    // 0 when the file was written; PLAYER_E_FAIL for any failure (bad size, no
    // encoder, a path that cannot be opened, an encode error), after which
    // everything acquired is released and no partial file is left behind.
    static int32_t write(const VideoPicture& picture, int width, int height, const char* path);
};
