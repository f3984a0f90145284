#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace simcam {

// The camera's sound: a quiet 440 Hz tone that gives way to a loud 1 kHz
// beep for beepMs at the start of every whole second of media time, the same
// instants at which the picture flashes. Every channel carries the same
// signal.
class ToneSource {
public:
    ToneSource(int sampleRate, int beepMs);

    // The signal at sample index (counted from media time 0), in -1..1.
    float sampleAt(int64_t index) const;

    // Sample positions (per channel) in interleaved 16-bit PCM at which a
    // beep starts: the first sample louder than a tone can be after at least
    // half a second without one.
    static std::vector<size_t> findBeepStarts(const int16_t* samples, size_t sampleFrames,
                                              int channels, int sampleRate);

private:
    int m_sampleRate;
    int64_t m_beepSamples;
};

}  // namespace simcam
