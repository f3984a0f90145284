#pragma once

#include <cstdint>
#include <memory>

// A planar YUV 4:2:0 picture handed from the decoder to a renderer: plane 0 is
// Y, plane 1 U (Cb), plane 2 V (Cr), chroma at half width and half height.
// Owned by whoever fills it; a renderer keeps a pointer into it only by its
// keeper. The picture's size travels separately (IVideoRender::SetFormat).
struct VideoPicture {
    uint8_t* data[3];
    int32_t linesize[3];
    uint64_t time;  // the sample's ulTime, zero-extended
    // When set, holding it keeps the planes as they are (the decoder's
    // reference-counted frame); null for planes valid only for the call.
    std::shared_ptr<const void> keeper;
};
