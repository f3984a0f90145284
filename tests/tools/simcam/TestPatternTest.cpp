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
