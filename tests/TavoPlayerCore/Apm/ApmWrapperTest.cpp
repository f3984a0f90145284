#include "TavoPlayerCore/Apm/ApmWrapper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// A voiced sound with harmonics at 200, 400 and 600 Hz, spoken in syllables:
// 150 ms on, 100 ms off.
double speechLike(int index, int rate) {
    const double t = static_cast<double>(index) / rate;
    if (std::fmod(t, 0.25) >= 0.15) {
        return 0.0;
    }
    return 3000 * std::sin(2 * kPi * 200 * t) + 2000 * std::sin(2 * kPi * 400 * t) +
           1000 * std::sin(2 * kPi * 600 * t);
}

// Seconds of speech-like sound in white noise, on each channel.
std::vector<int16_t> noisySpeech(int rate, int channels, double seconds) {
    std::mt19937 random(rate + channels);
    std::normal_distribution<double> noise(0, 1000);
    std::vector<int16_t> samples(static_cast<size_t>(rate * seconds) * channels);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(
            std::lround(speechLike(static_cast<int>(i / channels), rate) + noise(random)));
    }
    return samples;
}

// Energy of x at frequency hz (Goertzel).
double energyAt(const int16_t* x, int count, double hz, int rate) {
    const double coefficient = 2 * std::cos(2 * kPi * hz / rate);
    double s1 = 0;
    double s2 = 0;
    for (int i = 0; i < count; ++i) {
        const double s = x[i] + coefficient * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return s1 * s1 + s2 * s2 - coefficient * s1 * s2;
}

double decibels(double ratio) {
    return 10 * std::log10(ratio);
}

// Processes the samples in blocks of blockBytes and returns what came out,
// in order. After each block, what went in and has not come out is counted
// as carried.
std::vector<int16_t> processAll(ApmWrapper& apm, const std::vector<int16_t>& input,
                                int blockBytes) {
    std::vector<uint8_t> output;
    const int total = static_cast<int>(input.size() * 2);
    for (int offset = 0; offset < total; offset += blockBytes) {
        const int size = std::min(blockBytes, total - offset);
        // A block of exactly its own size on the heap, so that a read past
        // its end is caught.
        std::unique_ptr<uint8_t[]> block(new uint8_t[size]);
        std::memcpy(block.get(), reinterpret_cast<const uint8_t*>(input.data()) + offset, size);
        EXPECT_EQ(0, apm.process(block.get(), size));
        output.insert(output.end(), apm.getOutput(), apm.getOutput() + apm.getOutputSize());
        EXPECT_EQ(offset + size - static_cast<int>(output.size()), apm.getCarriedSize());
    }
    std::vector<int16_t> samples(output.size() / 2);
    std::memcpy(samples.data(), output.data(), samples.size() * 2);
    return samples;
}

}  // namespace

// Two seconds of speech-like sound in white noise, at rates the suppressor
// runs at and at rates resampled for it: after the first second of
// adaptation, the pauses between syllables (noise alone) carry at least 6 dB
// less energy, while the harmonics keep most of theirs, at their pitch.
TEST(ApmWrapper, SuppressesNoiseAndKeepsTheVoice) {
    const struct {
        int rate;
        int blockBytes;
    } cases[] = {{8000, 320}, {8000, 4096}, {11025, 2048}, {44100, 4096}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.blockBytes << " bytes");
        ApmWrapper apm;
        ASSERT_EQ(0, apm.setFormat(c.rate, 1));
        const std::vector<int16_t> noisy = noisySpeech(c.rate, 1, 2.0);
        const std::vector<int16_t> output = processAll(apm, noisy, c.blockBytes);

        const auto at = [&c](double seconds) { return static_cast<int>(seconds * c.rate); };
        double pauseIn = 0;
        double pauseOut = 0;
        double voiceIn = 0;
        double voiceOut = 0;
        for (double syllable = 1.0; syllable < 1.9; syllable += 0.25) {
            for (int i = at(syllable + 0.1625); i < at(syllable + 0.2375); ++i) {
                pauseIn += static_cast<double>(noisy[i]) * noisy[i];
                pauseOut += static_cast<double>(output[i]) * output[i];
            }
            for (double hz : {200.0, 400.0, 600.0}) {
                voiceIn += energyAt(&noisy[at(syllable + 0.0125)], at(0.125), hz, c.rate);
                voiceOut += energyAt(&output[at(syllable + 0.0125)], at(0.125), hz, c.rate);
            }
        }
        EXPECT_LT(decibels(pauseOut / pauseIn), -6.0);
        EXPECT_GT(decibels(voiceOut / voiceIn), -4.0);
    }
}

// Block-wise processing carries each block's partial 10 ms chunk, and what
// the resamplers hold, into the next block, so it gives exactly the sound of
// one continuous pass, at every rate and channel count, for the decoders'
// block sizes.
TEST(ApmWrapper, BlockWiseProcessingEqualsOneContinuousPass) {
    for (int rate : {8000, 11025, 16000, 22050, 32000, 44100, 48000}) {
        for (int channels : {1, 2}) {
            const std::vector<int16_t> input = noisySpeech(rate, channels, 0.5);
            ApmWrapper continuous;
            ASSERT_EQ(0, continuous.setFormat(rate, channels));
            const std::vector<int16_t> whole =
                processAll(continuous, input, static_cast<int>(input.size() * 2));
            for (int blockSamples : {1024, 1152, 2048}) {
                SCOPED_TRACE(testing::Message() << rate << " Hz, " << channels << " channels, "
                                                << blockSamples << " samples");
                ApmWrapper blockWise;
                ASSERT_EQ(0, blockWise.setFormat(rate, channels));
                const std::vector<int16_t> blocks =
                    processAll(blockWise, input, blockSamples * channels * 2);
                EXPECT_TRUE(whole == blocks);
            }
        }
    }
}
