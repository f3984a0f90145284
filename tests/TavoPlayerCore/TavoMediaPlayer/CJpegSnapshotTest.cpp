#include "TavoPlayerCore/TavoMediaPlayer/CJpegSnapshot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <vector>

#include "support/DecodedFile.h"
#include "support/TempDir.h"
#include "tavoplayer/ITavoMediaPlayer.h"

namespace {

// A picture of smooth gradients (JPEG-friendly), each plane different, with
// strides of our choosing.
struct TestPicture {
    TestPicture(int width, int height, int lumaStride, int chromaStride) : picture{} {
        for (int plane = 0; plane < 3; ++plane) {
            const int shift = plane == 0 ? 0 : 1;
            widths[plane] = width >> shift;
            heights[plane] = height >> shift;
            picture.linesize[plane] = plane == 0 ? lumaStride : chromaStride;
            planes[plane].resize(static_cast<size_t>(picture.linesize[plane]) * heights[plane]);
            for (int r = 0; r < heights[plane]; ++r) {
                for (int c = 0; c < widths[plane]; ++c) {
                    planes[plane][r * picture.linesize[plane] + c] =
                        static_cast<uint8_t>(plane == 0   ? 16 + c * 200 / widths[0]
                                             : plane == 1 ? 64 + r * 120 / heights[1]
                                                          : 192 - c * 120 / widths[2]);
                }
            }
            picture.data[plane] = planes[plane].data();
        }
    }
    // Peak signal to noise of a plane read back with rows packed.
    double psnr(int plane, const std::vector<uint8_t>& decoded) const {
        double squared = 0;
        for (int r = 0; r < heights[plane]; ++r) {
            for (int c = 0; c < widths[plane]; ++c) {
                const double d = planes[plane][r * picture.linesize[plane] + c] -
                                 decoded.at(static_cast<size_t>(r) * widths[plane] + c);
                squared += d * d;
            }
        }
        const double mse = squared / widths[plane] / heights[plane];
        return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
    }
    std::vector<uint8_t> planes[3];
    int widths[3];
    int heights[3];
    VideoPicture picture;
};

}  // namespace

TEST(CJpegSnapshot, WritesAJpegOfExactlyThePictureWithTightOrPaddedStrides) {
    TempDir dir;
    struct Case {
        int width, height, lumaStride, chromaStride;
    };
    for (const Case& c :
         {Case{320, 240, 320, 160}, Case{320, 240, 352, 192}, Case{97, 61, 128, 64}}) {
        SCOPED_TRACE(testing::Message()
                     << c.width << "x" << c.height << " stride " << c.lumaStride);
        const TestPicture source(c.width, c.height, c.lumaStride, c.chromaStride);
        const std::string path = dir.file("shot.jpg");
        ASSERT_EQ(0, CJpegSnapshot::write(source.picture, c.width, c.height, path.c_str()));
        const DecodedFile file(path);
        ASSERT_NE(nullptr, file.find(AVMEDIA_TYPE_VIDEO));
        const DecodedFile::Stream& decoded = *file.find(AVMEDIA_TYPE_VIDEO);
        EXPECT_EQ(c.width, decoded.width);
        EXPECT_EQ(c.height, decoded.height);
        ASSERT_EQ(3u, decoded.planes.size());
        for (int plane = 0; plane < 3; ++plane) {
            EXPECT_GT(source.psnr(plane, decoded.planes[plane]), 30.0) << "plane " << plane;
        }
    }
}

TEST(CJpegSnapshot, FailuresLeaveNoFile) {
    TempDir dir;
    TestPicture source(64, 48, 64, 32);
    const std::string missingDir = dir.file("no/such/dir/shot.jpg");
    EXPECT_EQ(PLAYER_E_FAIL, CJpegSnapshot::write(source.picture, 64, 48, missingDir.c_str()));
    EXPECT_FALSE(std::filesystem::exists(missingDir));
    const std::string path = dir.file("shot.jpg");
    EXPECT_EQ(PLAYER_E_FAIL, CJpegSnapshot::write(source.picture, 0, 48, path.c_str()));
    EXPECT_EQ(PLAYER_E_FAIL, CJpegSnapshot::write(source.picture, 64, 48, nullptr));
    VideoPicture empty{};
    EXPECT_EQ(PLAYER_E_FAIL, CJpegSnapshot::write(empty, 64, 48, path.c_str()));
    EXPECT_FALSE(std::filesystem::exists(path));
}
