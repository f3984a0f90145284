// The decoders on the simulated camera's streams, checked against what the
// camera drew (picture numbers, beeps on the second), and the audio
// conversion.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "TavoPlayerCore/Decoder/CAACDecoder.h"
#include "TavoPlayerCore/Decoder/CCTavoAudioConvert.h"
#include "TavoPlayerCore/Decoder/CG711Decoder.h"
#include "TavoPlayerCore/Decoder/CH264Decoder.h"
#include "TavoPlayerCore/Decoder/CH265Decoder.h"
#include "TavoPlayerCore/Decoder/CMP3Decoder.h"
#include "TavoPlayerCore/Decoder/DecoderSlot.h"
#include "simcam/TestPattern.h"
#include "support/CameraCapture.h"
#include "support/QuietLibavLog.h"
#include "tavoplayer/ITavoMediaPlayer.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

using simcam::AudioCodec;
using simcam::EncodedUnit;
using simcam::VideoCodec;

namespace {

std::vector<uint8_t> cut(const EncodedUnit& unit, size_t size) {
    return std::vector<uint8_t>(unit.data.begin(), unit.data.begin() + size);
}

// ---- Pictures ----------------------------------------------------------------

struct VideoCase {
    const char* name;
    VideoCodec codec;
    bool (*create)(IVideoDecoder**);
};

class VideoDecoderTest : public ::testing::TestWithParam<VideoCase> {
protected:
    void SetUp() override {
        ASSERT_TRUE(GetParam().create(&m_decoder));
        m_units = captureVideo(smallVideoSettings(GetParam().codec), 30);
        ASSERT_EQ(30u, m_units.size());
    }
    void TearDown() override { destroyDecoder(&m_decoder); }

    bool decode(const std::vector<uint8_t>& bytes) {
        return m_decoder->decode(bytes.data(), static_cast<int>(bytes.size()));
    }

    // Decodes pictures [from, to) and expects each on its own call, the very
    // picture the camera drew.
    void expectPictures(size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            SCOPED_TRACE(testing::Message() << "picture " << i);
            ASSERT_TRUE(decode(m_units[i].data));
            EXPECT_EQ(static_cast<int64_t>(i), shownNumber());
        }
    }

    // The number in the decoder's picture.
    int64_t shownNumber() {
        AVFrame* frame = nullptr;
        EXPECT_TRUE(m_decoder->getFrame(&frame));
        if (!frame->data[0] || frame->width != 320 || frame->height != 240) {
            return -2;
        }
        return simcam::TestPattern::readNumber(simcam::LumaView::fromLuma(
            frame->data[0], frame->linesize[0], frame->width, frame->height));
    }

    IVideoDecoder* m_decoder = nullptr;
    std::vector<EncodedUnit> m_units;  // key frames at 0, 10 and 20
};

// After a reset, or a close and an open, the decoder knows nothing of the
// past: predicted pictures fail until the next key frame.
TEST_P(VideoDecoderTest, ResetAndReopeningForgetThePastUntilTheNextKeyFrame) {
    expectPictures(0, 5);
    ASSERT_TRUE(m_decoder->reset());
    for (size_t i = 5; i < 10; ++i) {
        EXPECT_FALSE(decode(m_units[i].data)) << "picture " << i;
    }
    expectPictures(10, 15);
    EXPECT_TRUE(m_decoder->close());
    EXPECT_FALSE(decode(m_units[15].data));
    AVFrame* frame = nullptr;
    ASSERT_TRUE(m_decoder->getFrame(&frame));
    EXPECT_EQ(nullptr, frame);
    ASSERT_TRUE(m_decoder->open());
    expectPictures(20, 25);
}

// Damaged samples leave the decoder usable: from the next key frame the
// pictures are right again. (Arbitrary bytes are the decoder fuzzer's: fuzz/.)
TEST_P(VideoDecoderTest, RecoversFromDamagedSamplesAtTheNextKeyFrame) {
    QuietLibavLog quiet;
    std::mt19937 random(7);
    expectPictures(0, 3);
    // A sample that yields nothing leaves the last picture for the player to show again.
    EXPECT_FALSE(decode(cut(m_units[3], 5)));
    EXPECT_EQ(2, shownNumber());
    for (size_t i : {3u, 4u}) {  // flipped bits after the start code
        std::vector<uint8_t> corrupted = m_units[i].data;
        for (size_t k = 8; k < corrupted.size(); k += 7) {
            corrupted[k] ^= static_cast<uint8_t>(random());
        }
        decode(corrupted);
    }
    decode(cut(m_units[5], m_units[5].data.size() / 2));
    decode(cut(m_units[6], 5));
    EXPECT_FALSE(m_decoder->decode(nullptr, 0));
    EXPECT_FALSE(m_decoder->decode(m_units[7].data.data(), 0));
    EXPECT_FALSE(m_decoder->decode(m_units[7].data.data(), -5));
    // A key frame cut in the middle, then the pictures that predict from it.
    decode(cut(m_units[10], m_units[10].data.size() / 3));
    for (size_t i = 11; i < 20; ++i) {
        decode(m_units[i].data);
    }
    expectPictures(20, 30);
}

INSTANTIATE_TEST_SUITE_P(Codecs, VideoDecoderTest,
                         ::testing::Values(VideoCase{"H264", VideoCodec::H264, createH264Decoder},
                                           VideoCase{"H265", VideoCodec::H265, createH265Decoder}),
                         [](const ::testing::TestParamInfo<VideoCase>& info) {
                             return std::string(info.param.name);
                         });

// Without the deblocking filter, 720p pictures shown in a 480x270 window (a
// camera wall's tile) stay close to the fully decoded ones at that size,
// over a whole group of pictures that predict from unfiltered ones.
class SkippedLoopFilterTest : public ::testing::TestWithParam<VideoCase> {};

// The pictures' planes scaled to 480x270 as the DirectDraw renderer scales them.
std::vector<uint8_t> tile(const AVFrame& frame) {
    constexpr int kWidth = 480;
    constexpr int kHeight = 270;
    std::vector<uint8_t> planes(kWidth * kHeight * 3 / 2);
    SwsContext* context =
        sws_getContext(frame.width, frame.height, AV_PIX_FMT_YUV420P, kWidth, kHeight,
                       AV_PIX_FMT_YUV420P, SWS_AREA, nullptr, nullptr, nullptr);
    uint8_t* to[3] = {planes.data(), planes.data() + kWidth * kHeight,
                      planes.data() + kWidth * kHeight * 5 / 4};
    const int strides[3] = {kWidth, kWidth / 2, kWidth / 2};
    sws_scale(context, frame.data, frame.linesize, 0, frame.height, to, strides);
    sws_freeContext(context);
    return planes;
}

double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    double squares = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const double d = static_cast<double>(a[i]) - b[i];
        squares += d * d;
    }
    return squares == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * a.size() / squares);
}

TEST_P(SkippedLoopFilterTest, PicturesStayAbove35DbAtTheSizeOfAWallTile) {
    simcam::CameraSettings settings;
    settings.videoCodec = GetParam().codec;
    settings.keyFrameInterval = 25;
    settings.audioCodec = AudioCodec::None;
    const std::vector<EncodedUnit> units = captureVideo(settings, 25);
    ASSERT_EQ(25u, units.size());
    IVideoDecoder* decoders[2] = {nullptr, nullptr};
    ASSERT_TRUE(GetParam().create(&decoders[0]));
    ASSERT_TRUE(GetParam().create(&decoders[1]));
    decoders[1]->setSkipLoopFilter(true);
    double lowest = 99;
    bool anyDifferent = false;
    for (const EncodedUnit& unit : units) {
        AVFrame* frames[2] = {nullptr, nullptr};
        for (int i = 0; i < 2; ++i) {
            ASSERT_TRUE(decoders[i]->decode(unit.data.data(), static_cast<int>(unit.data.size())));
            ASSERT_TRUE(decoders[i]->getFrame(&frames[i]));
        }
        const size_t lumaBytes = static_cast<size_t>(frames[0]->linesize[0]) * frames[0]->height;
        anyDifferent =
            anyDifferent || std::memcmp(frames[0]->data[0], frames[1]->data[0], lumaBytes) != 0;
        lowest = std::min(lowest, psnr(tile(*frames[0]), tile(*frames[1])));
    }
    EXPECT_TRUE(anyDifferent) << "the filter was not left out";
    EXPECT_GE(lowest, 35.0);
    RecordProperty("lowest_psnr_db", std::to_string(lowest));
    destroyDecoder(&decoders[0]);
    destroyDecoder(&decoders[1]);
}

INSTANTIATE_TEST_SUITE_P(Codecs, SkippedLoopFilterTest,
                         ::testing::Values(VideoCase{"H264", VideoCodec::H264, createH264Decoder},
                                           VideoCase{"H265", VideoCodec::H265, createH265Decoder}),
                         [](const ::testing::TestParamInfo<VideoCase>& info) {
                             return std::string(info.param.name);
                         });

// ---- Sound -------------------------------------------------------------------

struct AudioCase {
    const char* name;
    AudioCodec codec;
    int sampleRate;
    int channels;
    int samplesPerFrame;
};

bool createFor(const AudioCase& audio, IAudioDecoder** slot) {
    switch (audio.codec) {
        case AudioCodec::AAC:
            return createAACDecoder(slot);
        case AudioCodec::MP3:
            return createMP3Decoder(slot);
        case AudioCodec::G711ALaw:
            return createG711Decoder(slot, CG711Decoder::kALaw, 8000, 0x00100001);
        case AudioCodec::G711MuLaw:
            return createG711Decoder(slot, CG711Decoder::kMuLaw, 8000, 0x00100001);
        case AudioCodec::None:
            break;
    }
    return false;
}

class AudioDecoderTest : public ::testing::TestWithParam<AudioCase> {
protected:
    void SetUp() override { ASSERT_TRUE(createFor(GetParam(), &m_decoder)); }
    void TearDown() override { destroyDecoder(&m_decoder); }

    std::vector<EncodedUnit> capture(int count) {
        const AudioCase& audio = GetParam();
        return captureAudio(audioSettings(audio.codec, audio.sampleRate, audio.channels), count);
    }

    IAudioDecoder* m_decoder = nullptr;
};

TEST_P(AudioDecoderTest, DamagedSamplesLeaveTheDecoderUsable) {
    QuietLibavLog quiet;
    const std::vector<EncodedUnit> units = capture(12);
    EXPECT_FALSE(m_decoder->decode(nullptr, 0));
    EXPECT_FALSE(m_decoder->decode(units[0].data.data(), 0));
    for (const std::vector<uint8_t>& bytes :
         {cut(units[1], units[1].data.size() / 2), cut(units[2], 3)}) {
        m_decoder->decode(bytes.data(), static_cast<int>(bytes.size()));
    }
    for (size_t i = 3; i < units.size(); ++i) {
        EXPECT_TRUE(m_decoder->decode(units[i].data.data(), static_cast<int>(units[i].data.size())))
            << "frame " << i;
    }
    AVFrame* frame = nullptr;
    ASSERT_TRUE(m_decoder->getFrame(&frame));
    EXPECT_EQ(GetParam().samplesPerFrame, frame->nb_samples);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, AudioDecoderTest,
    ::testing::Values(AudioCase{"AacMono16k", AudioCodec::AAC, 16000, 1, 1024},
                      AudioCase{"AacStereo48k", AudioCodec::AAC, 48000, 2, 1024},
                      AudioCase{"Mp3Mono16k", AudioCodec::MP3, 16000, 1, 576},
                      AudioCase{"Mp3Stereo44k", AudioCodec::MP3, 44100, 2, 1152},
                      AudioCase{"G711ALaw", AudioCodec::G711ALaw, 8000, 1, 160},
                      AudioCase{"G711MuLaw", AudioCodec::G711MuLaw, 8000, 1, 160}),
    [](const ::testing::TestParamInfo<AudioCase>& info) { return std::string(info.param.name); });

// The samples of a decoded frame, every plane.
std::vector<uint8_t> samplesOf(const AVFrame* frame) {
    const int bytes = av_samples_get_buffer_size(nullptr, 1, frame->nb_samples,
                                                 static_cast<AVSampleFormat>(frame->format), 1);
    std::vector<uint8_t> samples;
    for (int plane = 0; plane < frame->ch_layout.nb_channels; ++plane) {
        samples.insert(samples.end(), frame->extended_data[plane],
                       frame->extended_data[plane] + bytes);
    }
    return samples;
}

// A sample that holds two ADTS frames gives the first frame's samples only;
// the second is decoded with it, so the next sample's output is its own,
// exactly as from a decoder given one frame a sample.
TEST(CAACDecoder, SampleWithTwoFramesGivesTheFirstAndNothingLags) {
    const std::vector<EncodedUnit> units =
        captureAudio(audioSettings(AudioCodec::AAC, 16000, 2), 3);
    ASSERT_EQ(3u, units.size());
    CAACDecoder oneByOne;
    std::vector<std::vector<uint8_t>> expected;
    AVFrame* frame = nullptr;
    for (const EncodedUnit& unit : units) {
        ASSERT_TRUE(oneByOne.decode(unit.data.data(), static_cast<int>(unit.data.size())));
        ASSERT_TRUE(oneByOne.getFrame(&frame));
        expected.push_back(samplesOf(frame));
    }
    CAACDecoder decoder;
    std::vector<uint8_t> twoFrames = units[0].data;
    twoFrames.insert(twoFrames.end(), units[1].data.begin(), units[1].data.end());
    ASSERT_TRUE(decoder.decode(twoFrames.data(), static_cast<int>(twoFrames.size())));
    ASSERT_TRUE(decoder.getFrame(&frame));
    EXPECT_EQ(expected[0], samplesOf(frame));
    ASSERT_TRUE(decoder.decode(units[2].data.data(), static_cast<int>(units[2].data.size())));
    ASSERT_TRUE(decoder.getFrame(&frame));
    EXPECT_EQ(expected[2], samplesOf(frame));
}

// ---- Conversion to the sound card's format -------------------------------------

// An audio frame with its own buffers, freed on destruction.
class TestFrame {
public:
    TestFrame(AVSampleFormat format, int channels, int samples, int rate = 48000)
        : m_frame(av_frame_alloc()) {
        m_frame->format = format;
        m_frame->nb_samples = samples;
        m_frame->sample_rate = rate;
        av_channel_layout_default(&m_frame->ch_layout, channels);
        EXPECT_EQ(0, av_frame_get_buffer(m_frame, 0));
    }
    ~TestFrame() { av_frame_free(&m_frame); }
    AVFrame* get() const { return m_frame; }

private:
    AVFrame* m_frame;
};

// Every layout comes out as mono or stereo 16-bit at its own rate, whatever
// came before it (the resampler follows a stream that changes); more than
// two channels are mixed down, so front left and right stay apart, and
// floats beyond full scale are clipped, not wrapped.
TEST(CCTavoAudioConvert, FollowsTheStreamAndMixesMoreThanTwoChannelsToStereo) {
    CCTavoAudioConvert convert;
    const struct {
        AVSampleFormat format;
        int channels;
        int rate;
        int samples;
        int outChannels;
    } table[] = {{AV_SAMPLE_FMT_FLTP, 2, 48000, 1024, 2}, {AV_SAMPLE_FMT_FLTP, 1, 8000, 8192, 1},
                 {AV_SAMPLE_FMT_S16P, 2, 44100, 1152, 2}, {AV_SAMPLE_FMT_FLTP, 6, 48000, 1024, 2},
                 {AV_SAMPLE_FMT_S16, 6, 32000, 256, 2},   {AV_SAMPLE_FMT_FLT, 2, 22050, 2048, 2}};
    for (const auto& row : table) {
        SCOPED_TRACE(testing::Message() << row.channels << " channels at " << row.rate);
        TestFrame frame(row.format, row.channels, row.samples, row.rate);
        // A sound on the front left only, louder than full scale in floats.
        const bool planar = av_sample_fmt_is_planar(row.format);
        const bool s16 = row.format == AV_SAMPLE_FMT_S16 || row.format == AV_SAMPLE_FMT_S16P;
        for (int i = 0; i < row.samples; ++i) {
            for (int c = 0; c < row.channels; ++c) {
                const double value = c != 0 ? 0.0 : s16 ? 0.5 : 1.5;
                const int at = planar ? i : i * row.channels + c;
                uint8_t* plane = frame.get()->extended_data[planar ? c : 0];
                if (s16) {
                    reinterpret_cast<int16_t*>(plane)[at] = static_cast<int16_t>(value * 32767);
                } else {
                    reinterpret_cast<float*>(plane)[at] = static_cast<float>(value);
                }
            }
        }
        uint8_t* block = nullptr;
        uint32_t size = 0;
        ASSERT_EQ(0, convert.convert(frame.get(), &block, &size));
        EXPECT_EQ(row.outChannels, CCTavoAudioConvert::outputChannels(frame.get()));
        ASSERT_EQ(static_cast<uint32_t>(row.samples * row.outChannels * 2), size);
        const int16_t* samples = reinterpret_cast<const int16_t*>(block);
        const int last = (row.samples - 1) * row.outChannels;
        EXPECT_GT(samples[last], 4000);
        if (row.outChannels == 2) {
            EXPECT_EQ(0, samples[last + 1]);
        }
    }
}

// Sped up, a tone comes out shorter by the asked share and its pitch higher
// by as much, with no step where the speed-up starts or ends, whether the
// frames passed through untouched before (16-bit interleaved) or went
// through the resampler (floats); afterwards frames keep their length.
TEST(CCTavoAudioConvert, SpeedUpShortensTheSoundWithoutAStep) {
    constexpr double kSpeedUp = 0.04;
    constexpr double kTone = 440;
    constexpr double kAmplitude = 0.5 * 32767;
    constexpr int kThird = 20;  // blocks; the middle third sped up
    // The resampler holds back some samples, at most its filter's length.
    constexpr long kHeldBack = 64;
    const struct {
        AVSampleFormat format;
        int channels;
        int rate;
        int samples;
    } table[] = {{AV_SAMPLE_FMT_S16, 2, 48000, 1024},
                 {AV_SAMPLE_FMT_FLTP, 1, 16000, 1024},
                 {AV_SAMPLE_FMT_S16, 1, 8000, 160}};
    for (const auto& row : table) {
        SCOPED_TRACE(testing::Message() << row.channels << " channels at " << row.rate);
        CCTavoAudioConvert convert;
        std::vector<double> out;  // the first channel
        long lengthAt[4] = {0, 0, 0, 0};
        for (int block = 0; block < 3 * kThird; ++block) {
            if (block % kThird == 0) {
                lengthAt[block / kThird] = static_cast<long>(out.size());
            }
            convert.setSpeedUp(block / kThird == 1 ? kSpeedUp : 0);
            TestFrame frame(row.format, row.channels, row.samples, row.rate);
            for (int i = 0; i < row.samples; ++i) {
                const long at = static_cast<long>(block) * row.samples + i;
                const double value = std::sin(2 * M_PI * kTone * at / row.rate);
                for (int c = 0; c < row.channels; ++c) {
                    if (row.format == AV_SAMPLE_FMT_S16) {
                        reinterpret_cast<int16_t*>(frame.get()->data[0])[i * row.channels + c] =
                            static_cast<int16_t>(std::lround(value * kAmplitude));
                    } else {
                        reinterpret_cast<float*>(frame.get()->extended_data[c])[i] =
                            static_cast<float>(value * 0.5);
                    }
                }
            }
            uint8_t* block16 = nullptr;
            uint32_t size = 0;
            ASSERT_EQ(0, convert.convert(frame.get(), &block16, &size));
            const int16_t* samples = reinterpret_cast<const int16_t*>(block16);
            for (uint32_t i = 0; i < size / 2; i += row.channels) {
                out.push_back(samples[i]);
            }
        }
        lengthAt[3] = static_cast<long>(out.size());
        const long third = static_cast<long>(kThird) * row.samples;
        EXPECT_EQ(third, lengthAt[1]);
        EXPECT_NEAR(third * (1 - kSpeedUp), lengthAt[2] - lengthAt[1], kHeldBack);
        EXPECT_NEAR(third, lengthAt[3] - lengthAt[2], kHeldBack);
        // The pitch from the rising zero crossings inside the sped-up third.
        std::vector<double> crossings;
        for (long i = lengthAt[1] + kHeldBack; i < lengthAt[2] - kHeldBack; ++i) {
            if (out[i] < 0 && out[i + 1] >= 0) {
                crossings.push_back(i + out[i] / (out[i] - out[i + 1]));
            }
        }
        ASSERT_GT(crossings.size(), 10u);
        const double pitch =
            (crossings.size() - 1) * row.rate / (crossings.back() - crossings.front());
        EXPECT_NEAR(kTone / (1 - kSpeedUp), pitch, kTone * 0.002);
        // No step: no two neighbours further apart than the tone's steepest slope.
        const double slope = kAmplitude * 2 * M_PI * kTone / (1 - kSpeedUp) / row.rate;
        for (size_t i = 1; i < out.size(); ++i) {
            ASSERT_LE(std::fabs(out[i] - out[i - 1]), slope * 1.1 + 2) << "at " << i;
        }
    }
}

}  // namespace
