#include "simcam/TestPattern.h"

#include <cstdlib>

namespace simcam {

namespace {

constexpr int kBlack = 16;
constexpr int kWhite = 235;
constexpr int kNeutralChroma = 128;
// Least brightness step between the two cells of a bit.
constexpr int kMinContrast = 40;
// Mean brightness above which the moving area counts as flashed.
constexpr int kFlashLevel = 200;

// Rows are counted in sixteenths of the height: the code's two rows fill
// sixteenths 1 to 4, the moving area starts at sixteenth 6.
int rowTop(int height, int sixteenth) {
    return height * sixteenth / 16;
}

// Left edge of code cell i (i == kBits gives the right edge of the last
// cell): the code spans the middle nine tenths of the width.
int cellLeft(int width, int i) {
    return width / 20 + width * 18 * i / (20 * TestPattern::kBits);
}

void fillRect(uint8_t* plane, int stride, int x0, int y0, int x1, int y1, uint8_t value) {
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            plane[static_cast<long>(y) * stride + x] = value;
        }
    }
}

}  // namespace

void TestPattern::draw(uint32_t number, bool flash, uint8_t* const planes[3], const int strides[3],
                       int width, int height) {
    const int movingTop = rowTop(height, 6);
    const int boxSize = height / 6;
    const int boxLeft = static_cast<int>((number * static_cast<uint64_t>(width / 50 + 1)) %
                                         static_cast<uint64_t>(width - boxSize));
    const int boxTop = movingTop + (height - movingTop - boxSize) / 2;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = planes[0] + static_cast<long>(y) * strides[0];
        for (int x = 0; x < width; ++x) {
            int luma = 96;
            if (y >= movingTop) {
                const bool inBox =
                    x >= boxLeft && x < boxLeft + boxSize && y >= boxTop && y < boxTop + boxSize;
                const int gradient = static_cast<int>((x * 128L / width + number * 3L) % 128);
                luma = flash ? kWhite : inBox ? 200 : 40 + gradient;
            }
            row[x] = static_cast<uint8_t>(luma);
        }
    }
    for (int y = 0; y < height / 2; ++y) {
        uint8_t* u = planes[1] + static_cast<long>(y) * strides[1];
        uint8_t* v = planes[2] + static_cast<long>(y) * strides[2];
        for (int x = 0; x < width / 2; ++x) {
            const bool moving = y * 2 >= movingTop;
            u[x] = static_cast<uint8_t>(moving && !flash ? 64 + x * 256L / width : kNeutralChroma);
            v[x] = static_cast<uint8_t>(moving && !flash ? 64 + y * 256L / height : kNeutralChroma);
        }
    }
    const uint32_t code = number & kNumberMask;
    for (int i = 0; i < kBits; ++i) {
        const bool one = (code >> (kBits - 1 - i)) & 1u;
        const int x0 = cellLeft(width, i);
        const int x1 = cellLeft(width, i + 1);
        fillRect(planes[0], strides[0], x0, rowTop(height, 1), x1, rowTop(height, 3),
                 one ? kWhite : kBlack);
        fillRect(planes[0], strides[0], x0, rowTop(height, 3), x1, rowTop(height, 5),
                 one ? kBlack : kWhite);
    }
}

int64_t TestPattern::readNumber(const LumaView& picture) {
    const int width = picture.width();
    const int height = picture.height();
    int64_t number = 0;
    for (int i = 0; i < kBits; ++i) {
        const int x0 = cellLeft(width, i);
        const int x1 = cellLeft(width, i + 1);
        const int quarterWidth = (x1 - x0) / 4;
        const int quarterHeight = (rowTop(height, 3) - rowTop(height, 1)) / 4;
        // The middle half of each cell, away from edges that scaling and
        // compression blur.
        const int upper = picture.meanOver(x0 + quarterWidth, rowTop(height, 1) + quarterHeight,
                                           x1 - quarterWidth, rowTop(height, 3) - quarterHeight);
        const int lower = picture.meanOver(x0 + quarterWidth, rowTop(height, 3) + quarterHeight,
                                           x1 - quarterWidth, rowTop(height, 5) - quarterHeight);
        if (std::abs(upper - lower) < kMinContrast) {
            return -1;
        }
        number = (number << 1) | (upper > lower ? 1 : 0);
    }
    return number;
}

bool TestPattern::isFlash(const LumaView& picture) {
    const int width = picture.width();
    const int height = picture.height();
    return picture.meanOver(width / 16, rowTop(height, 7), width - width / 16, rowTop(height, 15)) >
           kFlashLevel;
}

}  // namespace simcam
