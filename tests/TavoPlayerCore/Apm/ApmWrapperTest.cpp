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

// Processes the samples in blocks of blockBytes and returns the output.
std::vector<int16_t> processAll(ApmWrapper& apm, const std::vector<int16_t>& input,
                                int blockBytes) {
    std::vector<int16_t> output(input.size());
    const int total = static_cast<int>(input.size() * 2);
    for (int offset = 0; offset < total; offset += blockBytes) {
        const int size = std::min(blockBytes, total - offset);
        // A block of exactly its own size on the heap, so that a read past
        // its end is caught.
        std::unique_ptr<uint8_t[]> block(new uint8_t[size]);
        std::memcpy(block.get(), reinterpret_cast<const uint8_t*>(input.data()) + offset, size);
        EXPECT_EQ(0, apm.process(block.get(), size));
        std::memcpy(reinterpret_cast<uint8_t*>(output.data()) + offset, apm.getOutput(), size);
    }
    return output;
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

// A short last chunk is processed as a 10 ms chunk padded with zeros, and
// only its own bytes come out: nothing is read or written past either block
// (blocks of exactly their size, checked by AddressSanitizer). Two chunks
// give two processed chunks.
TEST(ApmWrapper, ShortTailIsProcessedAsIfPaddedWithZeros) {
    for (int size : {1, 161, 200, 320, 4096}) {
        SCOPED_TRACE(size);
        const int padded = (size + ApmWrapper::kChunkBytes - 1) / ApmWrapper::kChunkBytes *
                           ApmWrapper::kChunkBytes;
        std::unique_ptr<uint8_t[]> block(new uint8_t[size]);
        std::vector<uint8_t> paddedBlock(padded, 0);
        for (int i = 0; i < size; ++i) {
            const int16_t sample = static_cast<int16_t>(speechLike(i / 2));
            block[i] = paddedBlock[i] = static_cast<uint8_t>(i % 2 ? sample >> 8 : sample);
        }
        ApmWrapper apm;
        ApmWrapper paddedApm;
        ASSERT_EQ(0, apm.init());
        ASSERT_EQ(0, paddedApm.init());
        ASSERT_EQ(0, apm.process(block.get(), size));
        ASSERT_EQ(0, paddedApm.process(paddedBlock.data(), padded));
        EXPECT_EQ(0, std::memcmp(paddedApm.getOutput(), apm.getOutput(), size));
        if (size == 320) {
            const int16_t* output = reinterpret_cast<const int16_t*>(apm.getOutput());
            EXPECT_GT(std::count_if(output + 80, output + 160, [](int16_t v) { return v != 0; }),
                      40);
        }
    }
}

// Without init, with a negative size or without data, nothing is processed
// from the caller's bytes.
TEST(ApmWrapper, RefusesWithoutModuleOrWithNegativeSizeAndTakesNullAsSilence) {
    ApmWrapper apm;
    const std::vector<uint8_t> block(320, 1);
    EXPECT_EQ(1, apm.process(block.data(), 320));
    ASSERT_EQ(0, apm.init());
    EXPECT_EQ(1, apm.process(block.data(), -1));
    ASSERT_EQ(0, apm.process(nullptr, 320));
    EXPECT_EQ(std::vector<uint8_t>(320, 0),
              std::vector<uint8_t>(apm.getOutput(), apm.getOutput() + 320));
}
