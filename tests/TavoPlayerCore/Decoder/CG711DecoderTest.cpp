#include "TavoPlayerCore/Decoder/CG711Decoder.h"

#include <gtest/gtest.h>

#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

namespace {

const int16_t* samplesOf(const AVFrame* frame) {
    return reinterpret_cast<const int16_t*>(frame->data[0]);
}

}  // namespace

TEST(CG711Decoder, ALawBlockOf160BytesIsOneFrameOf160Samples) {
    CG711Decoder decoder(CG711Decoder::kALaw, 8000, 0x00100001);
    std::vector<uint8_t> block(160, 0xD5);
    block[1] = 0x55;
    block[2] = 0xAA;
    block[3] = 0x2A;
    ASSERT_TRUE(decoder.decode(block.data(), static_cast<int>(block.size())));
    AVFrame* frame = nullptr;
    ASSERT_TRUE(decoder.getFrame(&frame));
    EXPECT_EQ(AV_SAMPLE_FMT_S16, frame->format);
    EXPECT_EQ(160, frame->nb_samples);
    EXPECT_EQ(1, frame->ch_layout.nb_channels);
    EXPECT_EQ(8000, frame->sample_rate);
    // The smallest and the largest steps of the A-law table, both signs.
    EXPECT_EQ(8, samplesOf(frame)[0]);
    EXPECT_EQ(-8, samplesOf(frame)[1]);
    EXPECT_EQ(32256, samplesOf(frame)[2]);
    EXPECT_EQ(-32256, samplesOf(frame)[3]);
}

TEST(CG711Decoder, MuLawUsesTheMuLawTable) {
    CG711Decoder decoder(CG711Decoder::kMuLaw, 8000, 1);
    const uint8_t block[4] = {0xFF, 0x7F, 0x80, 0x00};
    ASSERT_TRUE(decoder.decode(block, 4));
    AVFrame* frame = nullptr;
    ASSERT_TRUE(decoder.getFrame(&frame));
    ASSERT_EQ(4, frame->nb_samples);
    EXPECT_EQ(0, samplesOf(frame)[0]);
    EXPECT_EQ(0, samplesOf(frame)[1]);
    EXPECT_EQ(32124, samplesOf(frame)[2]);
    EXPECT_EQ(-32124, samplesOf(frame)[3]);
}

// The stream has no header: rate and channels are the constructor's.
TEST(CG711Decoder, FormatComesFromTheConstructor) {
    CG711Decoder decoder(CG711Decoder::kALaw, 16000, 0x00100002);
    const std::vector<uint8_t> block(160, 0xD5);
    ASSERT_TRUE(decoder.decode(block.data(), static_cast<int>(block.size())));
    AVFrame* frame = nullptr;
    ASSERT_TRUE(decoder.getFrame(&frame));
    EXPECT_EQ(16000, frame->sample_rate);
    EXPECT_EQ(2, frame->ch_layout.nb_channels);
    EXPECT_EQ(80, frame->nb_samples);
}

TEST(CG711Decoder, UnknownLawIsNoCodecAndNeverDecodes) {
    ::testing::internal::CaptureStderr();
    CG711Decoder decoder(3, 8000, 1);
    EXPECT_EQ("codec not found\n", ::testing::internal::GetCapturedStderr());
    const std::vector<uint8_t> block(160, 0xD5);
    EXPECT_FALSE(decoder.decode(block.data(), static_cast<int>(block.size())));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(decoder.reset());
    EXPECT_EQ("codec not found\n", ::testing::internal::GetCapturedStderr());
    EXPECT_FALSE(decoder.decode(block.data(), static_cast<int>(block.size())));
}

// Without a channel count or a rate there is no stream to decode; opening
// fails quietly.
TEST(CG711Decoder, MissingFormatDoesNotOpen) {
    const std::vector<uint8_t> block(160, 0xD5);
    ::testing::internal::CaptureStderr();
    CG711Decoder noChannels(CG711Decoder::kALaw, 8000, 0x00100000);
    CG711Decoder noRate(CG711Decoder::kMuLaw, 0, 1);
    EXPECT_EQ("", ::testing::internal::GetCapturedStderr());
    EXPECT_FALSE(noChannels.open());
    EXPECT_FALSE(noChannels.decode(block.data(), static_cast<int>(block.size())));
    EXPECT_FALSE(noRate.decode(block.data(), static_cast<int>(block.size())));
}
