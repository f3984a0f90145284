#include "TavoPlayerCore/TavoMediaPlayer/CJpegSnapshot.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cmath>
#include <filesystem>
#include <vector>

#include "support/TempDir.h"
#include "tavoplayer/ITavoMediaPlayer.h"

namespace {

// A picture with smooth gradients (JPEG-friendly) and strides of our choosing.
struct TestPicture {
    TestPicture(int width, int height, int lumaStride, int chromaStride)
        : y(static_cast<size_t>(lumaStride) * height),
          u(static_cast<size_t>(chromaStride) * height / 2),
          v(static_cast<size_t>(chromaStride) * height / 2),
          picture{} {
        for (int r = 0; r < height; ++r) {
            for (int c = 0; c < width; ++c) {
                y[r * lumaStride + c] = static_cast<uint8_t>(16 + (c * 200) / width);
            }
        }
        for (int r = 0; r < height / 2; ++r) {
            for (int c = 0; c < width / 2; ++c) {
                u[r * chromaStride + c] = static_cast<uint8_t>(64 + (r * 120) / (height / 2));
                v[r * chromaStride + c] = static_cast<uint8_t>(192 - (c * 120) / (width / 2));
            }
        }
        picture.data[0] = y.data();
        picture.data[1] = u.data();
        picture.data[2] = v.data();
        picture.linesize[0] = lumaStride;
        picture.linesize[1] = chromaStride;
        picture.linesize[2] = chromaStride;
    }
    std::vector<uint8_t> y, u, v;
    VideoPicture picture;
};

// Decodes a JPEG file; returns the frame (caller frees) or null.
AVFrame* decodeJpeg(const std::string& path) {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
        return nullptr;
    }
    AVFrame* frame = nullptr;
    AVPacket* packet = av_packet_alloc();
    const AVCodec* codec = avcodec_find_decoder(format->streams[0]->codecpar->codec_id);
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoder, format->streams[0]->codecpar);
    if (avcodec_open2(decoder, codec, nullptr) == 0 && av_read_frame(format, packet) == 0 &&
        avcodec_send_packet(decoder, packet) == 0) {
        frame = av_frame_alloc();
        if (avcodec_receive_frame(decoder, frame) != 0) {
            av_frame_free(&frame);
        }
    }
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return frame;
}

double lumaPsnr(const TestPicture& source, const AVFrame* decoded, int width, int height) {
    double squared = 0;
    for (int r = 0; r < height; ++r) {
        for (int c = 0; c < width; ++c) {
            const double d = static_cast<double>(source.y[r * source.picture.linesize[0] + c]) -
                             decoded->data[0][r * decoded->linesize[0] + c];
            squared += d * d;
        }
    }
    const double mse = squared / (static_cast<double>(width) * height);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

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
        TestPicture source(c.width, c.height, c.lumaStride, c.chromaStride);
        const std::string path = dir.file("shot.jpg");
        ASSERT_EQ(0, CJpegSnapshot::write(source.picture, c.width, c.height, path.c_str()));
        AVFrame* decoded = decodeJpeg(path);
        ASSERT_NE(nullptr, decoded);
        EXPECT_EQ(c.width, decoded->width);
        EXPECT_EQ(c.height, decoded->height);
        EXPECT_GT(lumaPsnr(source, decoded, c.width, c.height), 35.0);
        // Chroma lands where it belongs: the top-left chroma sample survives.
        EXPECT_NEAR(source.u[0], decoded->data[1][0], 6);
        EXPECT_NEAR(source.v[0], decoded->data[2][0], 6);
        av_frame_free(&decoded);
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
