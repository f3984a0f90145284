#include "simcam/SimulatedCamera.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "TavoPlayerCore/Decoder/CH264Decoder.h"
#include "TavoPlayerCore/Decoder/CH265Decoder.h"
#include "simcam/TestPattern.h"
#include "support/CameraCapture.h"

using simcam::AudioCodec;
using simcam::CameraSettings;
using simcam::EncodedUnit;
using simcam::LumaView;
using simcam::SimulatedCamera;
using simcam::TestPattern;
using simcam::VideoCodec;

// The stream a camera sends: one access unit per picture, stamped at the
// frame rate, a key frame every N pictures that starts with the parameter
// sets (no other picture carries them), about the bit rate asked for (the
// encoders ramp up to it). Decoded, each picture arrives on the call that
// delivered its access unit (no reordering), shows its number and flashes
// exactly at the whole seconds.
TEST(SimulatedCamera, VideoIsStampedKeyedAndShowsItsNumber) {
    for (const VideoCodec codec : {VideoCodec::H264, VideoCodec::H265}) {
        const bool h265 = codec == VideoCodec::H265;
        SCOPED_TRACE(h265 ? "H.265" : "H.264");
        CameraSettings settings = smallVideoSettings(codec);
        settings.keyFrameInterval = 7;
        settings.frameRate = 30;
        settings.bitRate = 400000;
        const std::vector<EncodedUnit> units = captureVideo(settings, 60);
        ASSERT_EQ(60u, units.size());
        EXPECT_TRUE(captureAudio(settings, 1).empty()) << "no sound asked for";
        std::unique_ptr<IVideoDecoder> decoder(h265 ? static_cast<IVideoDecoder*>(new CH265Decoder)
                                                    : new CH264Decoder);
        double bits = 0;
        for (uint32_t n = 0; n < units.size(); ++n) {
            const EncodedUnit& unit = units[n];
            SCOPED_TRACE(n);
            bits += 8.0 * unit.data.size();
            EXPECT_EQ(n, unit.sequence);
            EXPECT_EQ(n * 1000 / 30, unit.timeMs);
            EXPECT_EQ(n % 7 == 0, unit.keyFrame);
            for (int type : h265 ? std::vector<int>{32, 33, 34} : std::vector<int>{7, 8}) {
                EXPECT_EQ(unit.keyFrame, hasNalUnit(unit.data, h265, type)) << "NAL type " << type;
            }
            ASSERT_TRUE(decoder->decode(unit.data.data(), static_cast<int>(unit.data.size())));
            AVFrame* frame = nullptr;
            ASSERT_TRUE(decoder->getFrame(&frame));
            const LumaView luma =
                LumaView::fromLuma(frame->data[0], frame->linesize[0], frame->width, frame->height);
            EXPECT_EQ(n, TestPattern::readNumber(luma));
            EXPECT_EQ(unit.timeMs % 1000 == 0, TestPattern::isFlash(luma));
        }
        const std::vector<uint8_t> grey(320 * 240, 128);
        EXPECT_EQ(-1, TestPattern::readNumber(LumaView::fromLuma(grey.data(), 320, 320, 240)))
            << "a picture without the code";
        EXPECT_GT(bits, 0.6 * 2 * settings.bitRate);
        EXPECT_LT(bits, 1.2 * 2 * settings.bitRate);
    }
}

// Each frame is stamped with the media time of its first decoded sample:
// from 0 for G.711 and AAC; MP3's first frame after the encoder's priming
// starts a few milliseconds in. G.711 is always 8000 Hz mono, 160 bytes a
// frame.
TEST(SimulatedCamera, AudioFramesAreStampedBySampleCount) {
    struct Case {
        AudioCodec codec;
        int32_t codecType;
        int sampleRate;
        uint32_t firstMs;
        uint32_t frameMs;
    };
    for (const Case& audio : {Case{AudioCodec::G711ALaw, AUDIO_G711A, 44100, 0, 20},
                              Case{AudioCodec::G711MuLaw, AUDIO_G711U, 8000, 0, 20},
                              Case{AudioCodec::AAC, AUDIO_AAC, 16000, 0, 64},
                              Case{AudioCodec::MP3, AUDIO_MP3, 16000, 2, 36}}) {
        SCOPED_TRACE(audio.codecType);
        const CameraSettings settings = audioSettings(audio.codec, audio.sampleRate, 2);
        const StreamInfo info = SimulatedCamera(settings).audioStreamInfo();
        EXPECT_EQ(audio.codecType, info.codecType);
        const bool g711 = audio.frameMs == 20;
        EXPECT_EQ(g711 ? 8000u : static_cast<uint32_t>(audio.sampleRate), info.rateOrWidth);
        EXPECT_EQ(g711 ? 1u : 2u, info.formatOrHeight & 0xFFFF) << "channels";
        const std::vector<EncodedUnit> units = captureAudio(settings, 10);
        ASSERT_EQ(10u, units.size());
        for (uint32_t n = 0; n < units.size(); ++n) {
            EXPECT_EQ(n, units[n].sequence);
            EXPECT_EQ(audio.firstMs + n * audio.frameMs, units[n].timeMs);
            EXPECT_TRUE(units[n].keyFrame);
            EXPECT_TRUE(!g711 || units[n].data.size() == 160u);
        }
    }
}
