#include "simcam/TestPattern.h"

#include <gtest/gtest.h>

#include <vector>

using simcam::LumaView;
using simcam::TestPattern;

namespace {

// A YUV 4:2:0 picture in plain vectors, with padded rows.
struct Picture {
    Picture(int width, int height)
        : width(width),
          height(height),
          y((width + 16) * height),
          u((width / 2 + 8) * height / 2),
          v((width / 2 + 8) * height / 2) {}

    void draw(uint32_t number, bool flash) {
        uint8_t* const planes[3] = {y.data(), u.data(), v.data()};
        const int strides[3] = {width + 16, width / 2 + 8, width / 2 + 8};
        TestPattern::draw(number, flash, planes, strides, width, height);
    }
    LumaView luma() const { return LumaView::fromLuma(y.data(), width + 16, width, height); }

    int width;
    int height;
    std::vector<uint8_t> y;
    std::vector<uint8_t> u;
    std::vector<uint8_t> v;
};

}  // namespace

// Numbers wrap at the code's width; the flash whitens the moving area but
// keeps the number readable.
TEST(TestPattern, NumbersAndFlashReadBackAtAnySize) {
    for (int size : {1, 2, 4}) {
        Picture picture(80 * size, 60 * size);
        for (uint32_t number :
             {0u, 1u, 25u, 0x5A5A5u, TestPattern::kNumberMask, TestPattern::kNumberMask + 6}) {
            const bool flash = number % 2 == 1;
            picture.draw(number, flash);
            EXPECT_EQ(number & TestPattern::kNumberMask, TestPattern::readNumber(picture.luma()))
                << picture.width << " " << number;
            EXPECT_EQ(flash, TestPattern::isFlash(picture.luma()))
                << picture.width << " " << number;
        }
    }
    const std::vector<uint8_t> grey(320 * 240, 128);
    EXPECT_EQ(-1, TestPattern::readNumber(LumaView::fromLuma(grey.data(), 320, 320, 240)))
        << "a picture without the code";
}

TEST(TestPattern, ReadsFromRgbPixelsInEitherByteOrder) {
    Picture picture(160, 120);
    picture.draw(777, false);
    std::vector<uint8_t> rgba(160 * 120 * 4);
    std::vector<uint8_t> bgr(160 * 120 * 3);
    for (int y = 0; y < 120; ++y) {
        for (int x = 0; x < 160; ++x) {
            // Grey levels stretched to full range, as a display shows them.
            const int level =
                std::min(255, std::max(0, (picture.luma().at(x, y) - 16) * 255 / 219));
            uint8_t* out = &rgba[(y * 160 + x) * 4];
            out[0] = out[1] = out[2] = static_cast<uint8_t>(level);
            out[3] = 255;
            uint8_t* packed = &bgr[(y * 160 + x) * 3];
            packed[0] = static_cast<uint8_t>(level / 2);  // blue carries little weight
            packed[1] = packed[2] = static_cast<uint8_t>(level);
        }
    }
    EXPECT_EQ(777, TestPattern::readNumber(
                       LumaView::fromRgb(rgba.data(), 160 * 4, 160, 120, 4, 0, 1, 2)));
    EXPECT_EQ(
        777, TestPattern::readNumber(LumaView::fromRgb(bgr.data(), 160 * 3, 160, 120, 3, 2, 1, 0)));
}
