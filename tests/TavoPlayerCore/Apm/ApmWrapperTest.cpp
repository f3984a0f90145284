#include "TavoPlayerCore/Apm/ApmWrapper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int kRate = 8000;
constexpr double kPi = 3.14159265358979323846;

// A voiced sound with harmonics at 200, 400 and 600 Hz, spoken in syllables:
// 150 ms on, 100 ms off.
double speechLike(int index) {
    if (index % 2000 >= 1200) {
        return 0.0;
    }
    const double t = static_cast<double>(index) / kRate;
    return 3000 * std::sin(2 * kPi * 200 * t) + 2000 * std::sin(2 * kPi * 400 * t) +
           1000 * std::sin(2 * kPi * 600 * t);
}

// Energy of x at frequency hz (Goertzel).
double energyAt(const int16_t* x, int count, double hz) {
    const double coefficient = 2 * std::cos(2 * kPi * hz / kRate);
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
// in order.
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
    }
    std::vector<int16_t> samples(output.size() / 2);
    std::memcpy(samples.data(), output.data(), samples.size() * 2);
    return samples;
}

}  // namespace

// Two seconds of speech-like sound in white noise: after the first second of
// adaptation, the pauses between syllables (noise alone) carry at least 6 dB
// less energy, while the harmonics keep most of theirs.
TEST(ApmWrapper, SuppressesNoiseAndKeepsTheVoice) {
    for (int blockBytes : {320, 4096}) {
        SCOPED_TRACE(blockBytes);
        ApmWrapper apm;
        ASSERT_EQ(0, apm.init());
        std::mt19937 random(1);
        std::normal_distribution<double> noise(0, 1000);
        std::vector<int16_t> clean(2 * kRate);
        std::vector<int16_t> noisy(clean.size());
        for (size_t i = 0; i < clean.size(); ++i) {
            clean[i] = static_cast<int16_t>(std::lround(speechLike(static_cast<int>(i))));
            noisy[i] =
                static_cast<int16_t>(std::lround(speechLike(static_cast<int>(i)) + noise(random)));
        }
        const std::vector<int16_t> output = processAll(apm, noisy, blockBytes);

        double pauseIn = 0;
        double pauseOut = 0;
        double voiceIn = 0;
        double voiceOut = 0;
        for (int syllable = kRate; syllable < static_cast<int>(clean.size()); syllable += 2000) {
            for (int i = syllable + 1300; i < syllable + 1900; ++i) {
                pauseIn += static_cast<double>(noisy[i]) * noisy[i];
                pauseOut += static_cast<double>(output[i]) * output[i];
            }
            for (double hz : {200.0, 400.0, 600.0}) {
                voiceIn += energyAt(&clean[syllable + 100], 1000, hz);
                voiceOut += energyAt(&output[syllable + 100], 1000, hz);
            }
        }
        EXPECT_LT(decibels(pauseOut / pauseIn), -6.0);
        EXPECT_GT(decibels(voiceOut / voiceIn), -4.0);
    }
}

// Block-wise processing carries each block's partial 10 ms chunk into the
// next one, so it gives exactly the sound of one continuous pass, at every
// rate and channel count the suppressor runs at, for the decoders' block
// sizes; at other rates the sound passes through unchanged.
TEST(ApmWrapper, BlockWiseProcessingEqualsOneContinuousPass) {
    for (int rate : {8000, 16000, 32000, 48000, 44100}) {
        for (int channels : {1, 2}) {
            std::mt19937 random(rate + channels);
            std::normal_distribution<double> noise(0, 1000);
            std::vector<int16_t> input(static_cast<size_t>(rate) * channels / 2);
            for (size_t i = 0; i < input.size(); ++i) {
                input[i] = static_cast<int16_t>(
                    std::lround(speechLike(static_cast<int>(i / channels)) + noise(random)));
            }
            ApmWrapper continuous;
            ASSERT_EQ(0, continuous.setFormat(rate, channels));
            EXPECT_EQ(rate != 44100, continuous.suppressing());
            const std::vector<int16_t> whole =
                processAll(continuous, input, static_cast<int>(input.size() * 2));
            const size_t chunk = static_cast<size_t>(rate / 100 * channels);
            ASSERT_EQ(input.size() - input.size() % chunk, whole.size());
            if (rate == 44100) {
                EXPECT_EQ(input, whole);
            }
            for (int blockSamples : {1024, 1152, 2048}) {
                SCOPED_TRACE(testing::Message() << rate << " Hz, " << channels << " channels, "
                                                << blockSamples << " samples");
                ApmWrapper blockWise;
                ASSERT_EQ(0, blockWise.setFormat(rate, channels));
                const std::vector<int16_t> blocks =
                    processAll(blockWise, input, blockSamples * channels * 2);
                EXPECT_EQ(input.size() * 2 - blocks.size() * 2,
                          static_cast<size_t>(blockWise.getCarriedSize()));
                EXPECT_TRUE(whole == blocks);
            }
        }
    }
}
