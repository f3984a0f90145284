#include "simcam/ToneSource.h"

#include <cmath>
#include <cstdlib>

namespace simcam {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kToneHz = 440.0;
constexpr double kToneLevel = 0.1;
constexpr double kBeepHz = 1000.0;
constexpr double kBeepLevel = 0.5;
// Halfway between the peaks of tone and beep, in 16-bit units.
constexpr int kBeepThreshold = static_cast<int>((kToneLevel + kBeepLevel) / 2 * 32767);

}  // namespace

ToneSource::ToneSource(int sampleRate, int beepMs)
    : m_sampleRate(sampleRate), m_beepSamples(static_cast<int64_t>(sampleRate) * beepMs / 1000) {}

float ToneSource::sampleAt(int64_t index) const {
    const int64_t inSecond = index % m_sampleRate;
    const double seconds = static_cast<double>(index) / m_sampleRate;
    if (inSecond < m_beepSamples) {
        return static_cast<float>(kBeepLevel * std::sin(2 * kPi * kBeepHz * seconds));
    }
    return static_cast<float>(kToneLevel * std::sin(2 * kPi * kToneHz * seconds));
}

std::vector<size_t> ToneSource::findBeepStarts(const int16_t* samples, size_t sampleFrames,
                                               int channels, int sampleRate) {
    std::vector<size_t> starts;
    const size_t quietNeeded = static_cast<size_t>(sampleRate / 2);
    size_t quietRun = quietNeeded;
    for (size_t frame = 0; frame < sampleFrames; ++frame) {
        const int level = std::abs(static_cast<int>(samples[frame * channels]));
        if (level <= kBeepThreshold) {
            ++quietRun;
            continue;
        }
        if (quietRun >= quietNeeded) {
            starts.push_back(frame);
        }
        quietRun = 0;
    }
    return starts;
}

}  // namespace simcam
