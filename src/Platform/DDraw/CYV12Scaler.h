#pragma once

extern "C" {
#include <libavutil/pixfmt.h>
}

#include <cstdint>
#include <memory>

#include "Platform/Win32/Win32Types.h"

struct SwsContext;

// A YV12 picture in memory: a luma plane of width x height samples and V and
// U planes of width / 2 x height / 2 samples (integer halves).
struct YV12Image {
    const uint8_t* y;
    const uint8_t* u;
    const uint8_t* v;
    int pitch;        // bytes from one luma row to the next
    int chromaPitch;  // the same for both chroma planes
    int width;
    int height;
};

// Scales a rectangle of a YV12 picture into a packed RGB image with
// libswscale: bilinear, BT.601 limited-range YUV to full-range RGB. For odd
// sizes, where 4:2:0 needs one chroma column or row more than YV12 keeps,
// the last chroma column and row are repeated. The scaling context is kept
// while sizes and formats stay the same.
class CYV12Scaler {
public:
    CYV12Scaler();
    ~CYV12Scaler();

    CYV12Scaler(const CYV12Scaler&) = delete;
    CYV12Scaler& operator=(const CYV12Scaler&) = delete;

    // Scales source (inside image) to width x height pixels of format at
    // destination, rows stride bytes apart. False when libswscale refuses
    // the sizes or the format, or memory runs out.
    bool scale(const YV12Image& image, const RECT& source, AVPixelFormat format,
               uint8_t* destination, int stride, int width, int height);

private:
    bool prepareContext(int sourceWidth, int sourceHeight, AVPixelFormat format, int width,
                        int height);
    // Copies the chroma samples under source into m_chroma, repeating the
    // last column and row of the picture where source needs more.
    bool extendChroma(const YV12Image& image, const RECT& source, const uint8_t** u,
                      const uint8_t** v, int* pitch);

    SwsContext* m_context;
    int m_contextSize[4];  // source width and height, destination width and height
    AVPixelFormat m_contextFormat;
    std::unique_ptr<uint8_t[]> m_chroma;
    size_t m_chromaCapacity;
};
