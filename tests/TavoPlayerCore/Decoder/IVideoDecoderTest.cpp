#include "TavoPlayerCore/Decoder/IVideoDecoder.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "TavoPlayerCore/Decoder/CH264Decoder.h"
#include "TavoPlayerCore/Decoder/CH265Decoder.h"
#include "TavoPlayerCore/Decoder/DecoderSlot.h"
#include "simcam/TestPattern.h"
#include "support/CameraCapture.h"
#include "support/QuietLibavLog.h"
#include "support/ReferenceDecoder.h"

extern "C" {
#include <libavutil/frame.h>
}

using simcam::EncodedUnit;
using simcam::LumaView;
using simcam::TestPattern;
using simcam::VideoCodec;

namespace {

struct VideoCase {
    const char* name;
    VideoCodec codec;
    AVCodecID codecId;
    bool (*create)(IVideoDecoder**);
};

const VideoCase kCases[] = {
    {"H264", VideoCodec::H264, AV_CODEC_ID_H264, createH264Decoder},
    {"H265", VideoCodec::H265, AV_CODEC_ID_HEVC, createH265Decoder},
};

void PrintTo(const VideoCase& video, std::ostream* out) {
    *out << video.name;
}

int64_t shownNumber(const AVFrame* frame) {
    return TestPattern::readNumber(
        LumaView::fromLuma(frame->data[0], frame->linesize[0], frame->width, frame->height));
}

class VideoDecoderTest : public ::testing::TestWithParam<VideoCase> {
protected:
    void SetUp() override {
        ASSERT_TRUE(GetParam().create(&m_decoder));
        ASSERT_NE(nullptr, m_decoder);
    }
    void TearDown() override { destroyDecoder(&m_decoder); }

    std::vector<EncodedUnit> capture(int count) {
        return captureVideo(smallVideoSettings(GetParam().codec), count);
    }

    // Decodes the unit and expects its own picture, the very same one the
    // bare libavcodec decode produced.
    void expectPicture(const EncodedUnit& unit, const std::vector<uint64_t>& reference) {
        ASSERT_TRUE(m_decoder->decode(unit.data.data(), static_cast<int>(unit.data.size())))
            << "picture " << unit.sequence;
        AVFrame* frame = nullptr;
        ASSERT_TRUE(m_decoder->getFrame(&frame));
        EXPECT_EQ(320, frame->width);
        EXPECT_EQ(240, frame->height);
        EXPECT_EQ(unit.sequence, shownNumber(frame));
        EXPECT_EQ(reference, planeChecksums(frame)) << "picture " << unit.sequence;
    }

    IVideoDecoder* m_decoder = nullptr;
};

std::vector<std::vector<uint64_t>> referenceDecode(AVCodecID codecId,
                                                   const std::vector<EncodedUnit>& units) {
    ReferenceDecoder reference(codecId);
    for (const EncodedUnit& unit : units) {
        reference.decode(unit.data.data(), static_cast<int>(unit.data.size()));
    }
    reference.drain();
    return reference.frames();
}

}  // namespace

// Each access unit shows its own picture on the call that delivered it,
// identical to what bare libavcodec makes of the whole stream.
TEST_P(VideoDecoderTest, EveryAccessUnitGivesItsPictureAtOnceAndBitExact) {
    const std::vector<EncodedUnit> units = capture(25);
    ASSERT_EQ(25u, units.size());
    const auto reference = referenceDecode(GetParam().codecId, units);
    ASSERT_EQ(units.size(), reference.size());
    for (size_t i = 0; i < units.size(); ++i) {
        expectPicture(units[i], reference[i]);
    }
}

TEST_P(VideoDecoderTest, ResetForgetsThePastUntilTheNextKeyFrame) {
    const std::vector<EncodedUnit> units = capture(21);
    const auto reference = referenceDecode(GetParam().codecId, units);
    for (size_t i = 0; i < 5; ++i) {
        expectPicture(units[i], reference[i]);
    }
    ASSERT_TRUE(m_decoder->reset());
    AVFrame* frame = nullptr;
    ASSERT_TRUE(m_decoder->getFrame(&frame));
    ASSERT_NE(nullptr, frame);
    // Pictures 5 to 9 predict from pictures the new context has not seen.
    for (size_t i = 5; i < 10; ++i) {
        EXPECT_FALSE(
            m_decoder->decode(units[i].data.data(), static_cast<int>(units[i].data.size())))
            << "picture " << i;
    }
    ASSERT_TRUE(units[10].keyFrame);
    for (size_t i = 10; i < units.size(); ++i) {
        expectPicture(units[i], reference[i]);
    }
}

// Damaged samples of every kind come through without a crash (and, under
// AddressSanitizer, without a bad access or a leak); from the next key frame
// the pictures are exact again.
TEST_P(VideoDecoderTest, RecoversFromDamagedSamplesAtTheNextKeyFrame) {
    QuietLibavLog quiet;
    const std::vector<EncodedUnit> units = capture(30);
    const auto reference = referenceDecode(GetParam().codecId, units);
    std::mt19937 random(7);
    auto decodeBytes = [&](const std::vector<uint8_t>& bytes) {
        m_decoder->decode(bytes.data(), static_cast<int>(bytes.size()));
    };

    for (size_t i = 0; i < 3; ++i) {
        expectPicture(units[i], reference[i]);
    }
    // Flipped bits after the start code, in key and predicted pictures.
    for (size_t i : {3u, 4u}) {
        std::vector<uint8_t> corrupted = units[i].data;
        for (size_t k = 8; k < corrupted.size(); k += 7) {
            corrupted[k] ^= static_cast<uint8_t>(random());
        }
        decodeBytes(corrupted);
    }
    // Cut short.
    decodeBytes(std::vector<uint8_t>(units[5].data.begin(),
                                     units[5].data.begin() + units[5].data.size() / 2));
    decodeBytes(std::vector<uint8_t>(units[6].data.begin(), units[6].data.begin() + 5));
    // Empty and absent.
    EXPECT_FALSE(m_decoder->decode(nullptr, 0));
    EXPECT_FALSE(m_decoder->decode(units[7].data.data(), 0));
    EXPECT_FALSE(m_decoder->decode(units[7].data.data(), -5));
    // Noise, with and without start codes in it.
    for (int n = 0; n < 20; ++n) {
        std::vector<uint8_t> noise(1 + random() % 3000);
        for (uint8_t& byte : noise) {
            byte = static_cast<uint8_t>(random());
        }
        if (n % 2) {
            noise.insert(noise.begin(), {0, 0, 0, 1});
        }
        decodeBytes(noise);
    }
    // A key frame cut in the middle, then the pictures that predict from it.
    decodeBytes(std::vector<uint8_t>(units[10].data.begin(),
                                     units[10].data.begin() + units[10].data.size() / 3));
    for (size_t i = 11; i < 20; ++i) {
        decodeBytes(units[i].data);
    }

    ASSERT_TRUE(units[20].keyFrame);
    for (size_t i = 20; i < units.size(); ++i) {
        expectPicture(units[i], reference[i]);
    }
}

TEST_P(VideoDecoderTest, CreationFillsOnlyAnEmptySlot) {
    IVideoDecoder* const first = m_decoder;
    EXPECT_FALSE(GetParam().create(&m_decoder));
    EXPECT_EQ(first, m_decoder);
    IVideoDecoder* empty = nullptr;
    EXPECT_FALSE(destroyDecoder(&empty));
    EXPECT_TRUE(destroyDecoder(&m_decoder));
    EXPECT_EQ(nullptr, m_decoder);
    EXPECT_FALSE(destroyDecoder(&m_decoder));
}

TEST_P(VideoDecoderTest, FrameIsThereBeforeThePictureAndGoneWhenClosed) {
    EXPECT_FALSE(m_decoder->getFrame(nullptr));
    AVFrame* frame = nullptr;
    ASSERT_TRUE(m_decoder->getFrame(&frame));
    ASSERT_NE(nullptr, frame);
    EXPECT_EQ(0, frame->width);

    const std::vector<EncodedUnit> units = capture(1);
    EXPECT_TRUE(m_decoder->close());
    EXPECT_TRUE(m_decoder->close());
    EXPECT_FALSE(m_decoder->decode(units[0].data.data(), static_cast<int>(units[0].data.size())));
    ASSERT_TRUE(m_decoder->getFrame(&frame));
    EXPECT_EQ(nullptr, frame);

    ASSERT_TRUE(m_decoder->open());
    EXPECT_TRUE(m_decoder->open());
    EXPECT_TRUE(m_decoder->decode(units[0].data.data(), static_cast<int>(units[0].data.size())));
}

INSTANTIATE_TEST_SUITE_P(Codecs, VideoDecoderTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<VideoCase>& info) {
                             return std::string(info.param.name);
                         });
