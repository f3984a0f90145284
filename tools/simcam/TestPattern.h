#pragma once

#include <cstdint>

#include "simcam/LumaView.h"

namespace simcam {

// The camera's moving test picture and the way back from a decoded (or
// decoded and scaled, or displayed) picture to the number it shows.
//
// The top of the picture carries the picture number as a block code: kBits
// cells in a row, most significant bit first, each cell white for a one and
// black for a zero, above a second row with every cell inverted. A bit reads
// as one when its upper cell is brighter than its lower cell, so the code
// survives scaling, compression and changes of brightness. Geometry is
// relative to the picture size. Below the code a gradient moves to the left
// and a bright box moves across; on a flash picture that whole area is white.
class TestPattern {
public:
    static constexpr int kBits = 20;
    static constexpr uint32_t kNumberMask = (1u << kBits) - 1;

    // Draws picture number (modulo 2^kBits) into the three planes of a YUV
    // 4:2:0 picture of even width and height.
    static void draw(uint32_t number, bool flash, uint8_t* const planes[3], const int strides[3],
                     int width, int height);

    // The number shown, or -1 when a cell pair is too close in brightness to
    // tell (no test picture, or too damaged).
    static int64_t readNumber(const LumaView& picture);
    // True when the moving area is white.
    static bool isFlash(const LumaView& picture);
};

}  // namespace simcam
