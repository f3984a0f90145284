#include "simcam/SimulatedCamera.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "TavoPlayerCore/Decoder/CH264Decoder.h"
#include "TavoPlayerCore/Decoder/CH265Decoder.h"
#include "simcam/TestPattern.h"
#include "support/CameraCapture.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

using simcam::AudioCodec;
using simcam::CameraSettings;
using simcam::EncodedUnit;
using simcam::LumaView;
using simcam::SimulatedCamera;
using simcam::TestPattern;
using simcam::VideoCodec;

namespace simcam {

void PrintTo(VideoCodec codec, std::ostream* out) {
    *out << (codec == VideoCodec::H265 ? "H265" : "H264");
}

}  // namespace simcam

namespace {

// NAL unit types of an Annex B access unit, in order.
std::vector<int> nalTypes(const std::vector<uint8_t>& unit, bool h265) {
    std::vector<int> types;
    for (size_t i = 0; i + 3 < unit.size(); ++i) {
        if (unit[i] == 0 && unit[i + 1] == 0 && unit[i + 2] == 1) {
            types.push_back(h265 ? (unit[i + 3] >> 1) & 0x3F : unit[i + 3] & 0x1F);
            i += 2;
        }
    }
    return types;
}

bool contains(const std::vector<int>& values, int value) {
    for (int v : values) {
        if (v == value) {
            return true;
        }
    }
    return false;
}

class CameraVideoTest : public ::testing::TestWithParam<VideoCodec> {
protected:
    bool h265() const { return GetParam() == VideoCodec::H265; }
    IVideoDecoder* newDecoder() const {
        return h265() ? static_cast<IVideoDecoder*>(new CH265Decoder())
                      : static_cast<IVideoDecoder*>(new CH264Decoder());
    }
};

}  // namespace

// The stream a camera sends: one access unit per picture, stamped at the
// frame rate, a key frame every N pictures that starts with the parameter
// sets, and no other picture carrying them.
TEST_P(CameraVideoTest, AccessUnitsAreStampedKeyedAndCarryParameterSets) {
    CameraSettings settings = smallVideoSettings(GetParam());
    settings.keyFrameInterval = 7;
    settings.frameRate = 30;
    const std::vector<EncodedUnit> units = captureVideo(settings, 22);
    ASSERT_EQ(22u, units.size());
    const std::vector<int> parameterSets =
        h265() ? std::vector<int>{32, 33, 34} : std::vector<int>{7, 8};
    for (uint32_t n = 0; n < units.size(); ++n) {
        const EncodedUnit& unit = units[n];
        SCOPED_TRACE(n);
        EXPECT_EQ(n, unit.sequence);
        EXPECT_EQ(n * 1000 / 30, unit.timeMs);
        EXPECT_EQ(n % 7 == 0, unit.keyFrame);
        ASSERT_GE(unit.data.size(), 4u);
        EXPECT_EQ(0, unit.data[0]);
        EXPECT_EQ(0, unit.data[1]);
        const std::vector<int> types = nalTypes(unit.data, h265());
        for (int type : parameterSets) {
            EXPECT_EQ(unit.keyFrame, contains(types, type)) << "NAL type " << type;
        }
    }
}

// Decoded, each picture arrives on the call that delivered its access unit
// (no B-frames, no reordering), shows its number, and flashes exactly at the
// whole seconds; the number also reads back from a scaled RGB picture.
TEST_P(CameraVideoTest, PicturesShowTheirNumberAndFlashOnTheSecond) {
    const std::vector<EncodedUnit> units = captureVideo(smallVideoSettings(GetParam()), 52);
    ASSERT_EQ(52u, units.size());
    IVideoDecoder* decoder = newDecoder();
    SwsContext* scaler = sws_getContext(320, 240, AV_PIX_FMT_YUV420P, 120, 90, AV_PIX_FMT_BGRA,
                                        SWS_BILINEAR, nullptr, nullptr, nullptr);
    std::vector<uint8_t> bgra(120 * 90 * 4);
    for (const EncodedUnit& unit : units) {
        SCOPED_TRACE(unit.sequence);
        ASSERT_TRUE(decoder->decode(unit.data.data(), static_cast<int>(unit.data.size())));
        AVFrame* frame = nullptr;
        ASSERT_TRUE(decoder->getFrame(&frame));
        EXPECT_NE(AV_PICTURE_TYPE_B, frame->pict_type);
        const LumaView luma =
            LumaView::fromLuma(frame->data[0], frame->linesize[0], frame->width, frame->height);
        EXPECT_EQ(unit.sequence, TestPattern::readNumber(luma));
        EXPECT_EQ(unit.timeMs % 1000 == 0, TestPattern::isFlash(luma));

        uint8_t* const out[1] = {bgra.data()};
        const int outStride[1] = {120 * 4};
        sws_scale(scaler, frame->data, frame->linesize, 0, 240, out, outStride);
        const LumaView scaled = LumaView::fromRgb(bgra.data(), 120 * 4, 120, 90, 4, 2, 1, 0);
        EXPECT_EQ(unit.sequence, TestPattern::readNumber(scaled));
        EXPECT_EQ(unit.timeMs % 1000 == 0, TestPattern::isFlash(scaled));
    }
    sws_freeContext(scaler);
    delete decoder;
}

TEST_P(CameraVideoTest, SameSettingsGiveTheSameBytes) {
    const CameraSettings settings = smallVideoSettings(GetParam());
    const std::vector<EncodedUnit> first = captureVideo(settings, 12);
    const std::vector<EncodedUnit> second = captureVideo(settings, 12);
    ASSERT_EQ(12u, first.size());
    ASSERT_EQ(12u, second.size());
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].data, second[i].data) << i;
    }
    CameraSettings other = settings;
    other.quality += 10;
    EXPECT_NE(first[1].data, captureVideo(other, 2)[1].data);
}

// A bit rate replaces the constant quality: two seconds of pictures come
// to about two seconds' worth of bits (the encoders ramp up to the rate).
TEST_P(CameraVideoTest, BitRateIsHeldOverTheStream) {
    CameraSettings settings = smallVideoSettings(GetParam());
    settings.bitRate = 400000;
    const std::vector<EncodedUnit> units = captureVideo(settings, 50);
    ASSERT_EQ(50u, units.size());
    double bits = 0;
    for (const EncodedUnit& unit : units) {
        bits += 8.0 * unit.data.size();
    }
    EXPECT_GT(bits, 0.6 * 2 * settings.bitRate);
    EXPECT_LT(bits, 1.2 * 2 * settings.bitRate);
}

// Named through PrintTo itself: gtest's printer for VideoCodec is also
// instantiated in files that do not see PrintTo, and the linker may keep theirs.
INSTANTIATE_TEST_SUITE_P(Codecs, CameraVideoTest,
                         ::testing::Values(VideoCodec::H264, VideoCodec::H265),
                         [](const ::testing::TestParamInfo<VideoCodec>& info) {
                             std::ostringstream name;
                             simcam::PrintTo(info.param, &name);
                             return name.str();
                         });

// Each frame is stamped with the media time of its first decoded sample:
// from 0 for G.711 and AAC; MP3's first frame after the encoder's priming
// starts a few milliseconds in.
TEST(SimulatedCamera, AudioFramesAreStampedBySampleCount) {
    struct Case {
        AudioCodec codec;
        uint32_t firstMs;
        uint32_t frameMs;
    };
    for (const Case& audio : {Case{AudioCodec::G711ALaw, 0, 20}, Case{AudioCodec::G711MuLaw, 0, 20},
                              Case{AudioCodec::AAC, 0, 64}, Case{AudioCodec::MP3, 2, 36}}) {
        SCOPED_TRACE(static_cast<int>(audio.codec));
        const std::vector<EncodedUnit> units =
            captureAudio(audioSettings(audio.codec, 16000, 1), 10);
        ASSERT_EQ(10u, units.size());
        for (uint32_t n = 0; n < units.size(); ++n) {
            EXPECT_EQ(n, units[n].sequence);
            EXPECT_EQ(audio.firstMs + n * audio.frameMs, units[n].timeMs);
            EXPECT_TRUE(units[n].keyFrame);
        }
    }
}

TEST(SimulatedCamera, G711FramesAre160BytesOf8kMono) {
    CameraSettings settings = audioSettings(AudioCodec::G711MuLaw, 44100, 2);
    SimulatedCamera camera(settings);
    ASSERT_TRUE(camera.isOpen());
    EncodedUnit unit;
    ASSERT_TRUE(camera.nextAudio(&unit));
    EXPECT_EQ(160u, unit.data.size());
    const StreamInfo info = camera.audioStreamInfo();
    EXPECT_EQ(static_cast<uint32_t>(STREAM_AUDIO), info.kind);
    EXPECT_EQ(AUDIO_G711U, info.codecType);
    EXPECT_EQ(8000u, info.rateOrWidth);
    EXPECT_EQ(0x00100001u, info.formatOrHeight);
}

TEST(SimulatedCamera, AacFramesCarryAnAdtsHeader) {
    const std::vector<EncodedUnit> units =
        captureAudio(audioSettings(AudioCodec::AAC, 48000, 2), 4);
    ASSERT_EQ(4u, units.size());
    for (const EncodedUnit& unit : units) {
        ASSERT_GT(unit.data.size(), 7u);
        const std::vector<uint8_t>& d = unit.data;
        EXPECT_EQ(0xFF, d[0]);
        EXPECT_EQ(0xF1, d[1] & 0xF7);                   // sync, MPEG-4, no CRC
        EXPECT_EQ(1, d[2] >> 6);                        // AAC LC
        EXPECT_EQ(3, (d[2] >> 2) & 0xF);                // 48000 Hz
        EXPECT_EQ(2, ((d[2] & 1) << 2) | (d[3] >> 6));  // stereo
        EXPECT_EQ(d.size(), static_cast<size_t>(((d[3] & 3) << 11) | (d[4] << 3) | (d[5] >> 5)));
    }
}

TEST(SimulatedCamera, DescribesItsStreams) {
    CameraSettings settings;
    SimulatedCamera camera(settings);
    ASSERT_TRUE(camera.isOpen()) << camera.error();
    const StreamInfo video = camera.videoStreamInfo();
    EXPECT_EQ(static_cast<uint32_t>(STREAM_VIDEO), video.kind);
    EXPECT_EQ(VIDEO_H264, video.codecType);
    EXPECT_EQ(1280u, video.rateOrWidth);
    EXPECT_EQ(720u, video.formatOrHeight);
    const StreamInfo audio = camera.audioStreamInfo();
    EXPECT_EQ(AUDIO_AAC, audio.codecType);
    EXPECT_EQ(16000u, audio.rateOrWidth);
    EXPECT_EQ(0x00100001u, audio.formatOrHeight);
    EncodedUnit unit;
    ASSERT_TRUE(camera.nextVideo(&unit));
    EXPECT_TRUE(unit.keyFrame);

    settings.videoCodec = VideoCodec::H265;
    settings.width = 320;
    settings.height = 240;
    settings.audioCodec = AudioCodec::None;
    SimulatedCamera other(settings);
    ASSERT_TRUE(other.isOpen()) << other.error();
    EXPECT_EQ(VIDEO_H265, other.videoStreamInfo().codecType);
    EXPECT_EQ(CODEC_NONE, other.audioStreamInfo().codecType);
    EXPECT_FALSE(other.nextAudio(&unit));
}

TEST(SimulatedCamera, RefusesSettingsItCannotEncode) {
    CameraSettings odd = smallVideoSettings(VideoCodec::H264);
    odd.width = 321;
    CameraSettings noRate = smallVideoSettings(VideoCodec::H264);
    noRate.frameRate = 0;
    CameraSettings negativeBitRate = smallVideoSettings(VideoCodec::H264);
    negativeBitRate.bitRate = -1;
    CameraSettings badAacRate = audioSettings(AudioCodec::AAC, 12345, 1);
    CameraSettings tooManyChannels = audioSettings(AudioCodec::MP3, 16000, 6);
    for (const CameraSettings& settings :
         {odd, noRate, negativeBitRate, badAacRate, tooManyChannels}) {
        SimulatedCamera camera(settings);
        EXPECT_FALSE(camera.isOpen());
        EXPECT_FALSE(camera.error().empty());
        EncodedUnit unit;
        EXPECT_FALSE(camera.nextVideo(&unit));
        EXPECT_FALSE(camera.nextAudio(&unit));
    }
}
