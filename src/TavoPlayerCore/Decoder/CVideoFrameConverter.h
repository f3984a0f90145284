#pragma once

#include <cstdint>

#include "TavoPlayerCore/VideoRender/VideoPicture.h"

struct AVFrame;
struct SwsContext;

// Turns a decoded picture into what every renderer takes: planar 8-bit YUV
// 4:2:0 with limited-range levels (VideoPicture). A picture in that format
// already is handed on as it is (its planes stay the decoder's); any other
// format libswscale reads (monochrome, 10-bit, 4:2:2, 4:4:4, full range) is
// converted into planes the converter owns. One converter per video decoder
// slot, used on the thread that holds the player's video lock.
class CVideoFrameConverter {
public:
    CVideoFrameConverter();
    ~CVideoFrameConverter();

    CVideoFrameConverter(const CVideoFrameConverter&) = delete;
    CVideoFrameConverter& operator=(const CVideoFrameConverter&) = delete;

    // Sets picture's planes and strides (not its time) to the frame in YUV
    // 4:2:0. They stay valid until the next convert, or for a frame passed
    // through, as long as the frame or the picture's keeper, a reference to
    // the frame's buffers. False, with a log line once per format,
    // for a frame that cannot be shown (no picture, a format libswscale does
    // not read); picture is then untouched.
    bool convert(const AVFrame* frame, VideoPicture* picture);

private:
    // Makes the owned planes fit a picture of the size; false without memory.
    bool fitPlanes(int width, int height);
    void refuse(int format);

    SwsContext* m_context;
    uint8_t* m_planes[4];
    int m_strides[4];
    int m_width;
    int m_height;
    int m_refusedFormat;  // the format logged last, so a stream logs it once
};
