#pragma once

#include <webrtc/modules/audio_processing/include/audio_processing.h>
#include <webrtc/modules/interface/module_common_types.h>

#include <vector>

#include "TavoPlayerCore/Apm/ApmBase.h"

// Noise suppression (level high) with webrtc-audio-processing on interleaved
// signed 16-bit audio, 10 ms at a time, at the stream's rate and on each of
// its channels. No other processing (echo control, gain control, filters,
// detectors) is enabled.
//
// The suppressor runs only at 8, 16, 32 and 48 kHz with one or two channels.
// Sound at other rates (11.025, 22.05, 44.1 kHz) passes through unchanged:
// resampling it there and back would cost two filters' delay and colour for a
// suppressor meant for a noisy 8 kHz microphone, so such streams are left as
// they were recorded.
//
// A block's last partial 10 ms chunk is carried over and processed together
// with the start of the next block, so that block-wise processing gives the
// same sound as one continuous pass. (The engine once padded that chunk with
// zeros and processed it on its own, which put a click at every block end.)
class ApmWrapper : public ApmBase {
public:
    ApmWrapper();
    // Writes "sdas!!!!!!!!!!!!!!!!!" to the debug output, then frees the
    // processing module.
    ~ApmWrapper() override;

    ApmWrapper(const ApmWrapper&) = delete;
    ApmWrapper& operator=(const ApmWrapper&) = delete;

    int32_t init() override;
    // 1 also for a negative size or when no module is set up; null data with a
    // size is taken as silence.
    int32_t process(const uint8_t* data, int32_t size) override;
    uint8_t* getOutput() override;
    // Formats the suppressor does not run at (see above) are passed through: 0.
    int32_t setFormat(int32_t sampleRate, int32_t channels) override;
    int32_t getOutputSize() override;
    int32_t getCarriedSize() override;

    // Whether sound of the current format is processed (false: passed through).
    bool suppressing() const { return m_suppressing; }

private:
    webrtc::AudioProcessing* m_module;
    webrtc::AudioFrame m_frame;
    int m_sampleRate;
    int m_channels;
    bool m_suppressing;
    // Bytes of one 10 ms chunk in the current format.
    size_t m_chunkBytes;
    std::vector<uint8_t> m_carried;
    std::vector<uint8_t> m_output;
};

// Creates an ApmWrapper into an empty slot and returns 0; stores null when
// memory cannot be had (still 0). An occupied (or absent) slot is left
// alone: 1.
int32_t createApmWrapper(ApmBase** slot);
// Deletes the processor in *slot, if any, and clears the slot.
void destroyApmWrapper(ApmBase** slot);
