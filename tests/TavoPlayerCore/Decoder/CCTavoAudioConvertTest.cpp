#include "TavoPlayerCore/Decoder/CCTavoAudioConvert.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
}

#include "tavoplayer/ITavoMediaPlayer.h"

namespace {

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
    float* floats(int channel) const { return reinterpret_cast<float*>(m_frame->data[channel]); }

private:
    AVFrame* m_frame;
};

}  // namespace

TEST(CCTavoAudioConvert, InterleavedSixteenBitPassesThroughUncopied) {
    CCTavoAudioConvert convert;
    TestFrame frame(AV_SAMPLE_FMT_S16, 1, 160, 8000);
    uint8_t* block = nullptr;
    uint32_t size = 0;
    // No init needed: nothing is converted.
    ASSERT_EQ(0, convert.convert(frame.get(), &block, &size));
    EXPECT_EQ(frame.get()->data[0], block);
    EXPECT_EQ(320u, size);
    EXPECT_EQ(320, frame.get()->linesize[0]);
}

TEST(CCTavoAudioConvert, StereoPlanarFloatBecomesInterleavedSixteenBit) {
    CCTavoAudioConvert convert;
    TestFrame frame(AV_SAMPLE_FMT_FLTP, 2, 1024);
    for (int i = 0; i < 1024; ++i) {
        frame.floats(0)[i] = 0.5f;
        frame.floats(1)[i] = i % 2 ? -0.25f : 1.5f;
    }
    ASSERT_EQ(0, convert.init(frame.get(), AV_SAMPLE_FMT_S16));
    uint8_t* block = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(0, convert.convert(frame.get(), &block, &size));
    ASSERT_EQ(4096u, size);
    EXPECT_NE(frame.get()->data[0], block);
    const int16_t* samples = reinterpret_cast<const int16_t*>(block);
    EXPECT_EQ(16384, samples[0]);
    EXPECT_EQ(32767, samples[1]);  // clipped
    EXPECT_EQ(16384, samples[2]);
    EXPECT_EQ(-8192, samples[3]);
    EXPECT_EQ(-8192, samples[2047]);
}

TEST(CCTavoAudioConvert, BlocksMustStayBelowTheBuffer) {
    CCTavoAudioConvert convert;
    TestFrame fits(AV_SAMPLE_FMT_FLTP, 1, 8191);
    TestFrame tooLarge(AV_SAMPLE_FMT_FLTP, 1, 8192);
    ASSERT_EQ(0, convert.init(fits.get(), AV_SAMPLE_FMT_S16));
    uint8_t* block = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(0, convert.convert(fits.get(), &block, &size));
    EXPECT_EQ(16382u, size);
    block = nullptr;
    size = 0;
    EXPECT_EQ(PLAYER_E_FAIL, convert.convert(tooLarge.get(), &block, &size));
    EXPECT_EQ(nullptr, block);
    EXPECT_EQ(0u, size);
}

TEST(CCTavoAudioConvert, RefusesWhatItCannotConvert) {
    CCTavoAudioConvert convert;
    TestFrame planarFloat(AV_SAMPLE_FMT_FLTP, 2, 1024);
    TestFrame planarShort(AV_SAMPLE_FMT_S16P, 2, 1024);
    uint8_t* block = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(PLAYER_E_INVALIDARG, convert.convert(planarFloat.get(), &block, &size));
    EXPECT_EQ(PLAYER_E_INVALIDARG, convert.convert(planarShort.get(), &block, &size));
    EXPECT_EQ(PLAYER_E_INVALIDARG, convert.init(nullptr, AV_SAMPLE_FMT_S16));
    ASSERT_EQ(0, convert.init(planarFloat.get(), AV_SAMPLE_FMT_S16));
    EXPECT_EQ(PLAYER_E_INVALIDARG, convert.convert(planarShort.get(), &block, &size));
    EXPECT_EQ(PLAYER_E_INVALIDARG, convert.convert(nullptr, &block, &size));
    EXPECT_EQ(PLAYER_E_INVALIDARG, convert.convert(planarFloat.get(), nullptr, &size));
    EXPECT_EQ(PLAYER_E_INVALIDARG, convert.convert(planarFloat.get(), &block, nullptr));
    EXPECT_EQ(nullptr, block);
}

// The resampler is set up for the first frame; a frame of another shape
// would make it read planes that are not there.
TEST(CCTavoAudioConvert, RefusesPlanarFloatUnlikeTheFirstFrame) {
    CCTavoAudioConvert convert;
    TestFrame stereo(AV_SAMPLE_FMT_FLTP, 2, 1024);
    TestFrame mono(AV_SAMPLE_FMT_FLTP, 1, 1024);
    TestFrame otherRate(AV_SAMPLE_FMT_FLTP, 2, 1024, 44100);
    ASSERT_EQ(0, convert.init(stereo.get(), AV_SAMPLE_FMT_S16));
    uint8_t* block = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(PLAYER_E_FAIL, convert.convert(mono.get(), &block, &size));
    EXPECT_EQ(PLAYER_E_FAIL, convert.convert(otherRate.get(), &block, &size));
    EXPECT_EQ(0, convert.convert(stereo.get(), &block, &size));
}
