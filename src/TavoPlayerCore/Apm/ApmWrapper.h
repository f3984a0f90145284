#pragma once

#include <webrtc/modules/audio_processing/include/audio_processing.h>
#include <webrtc/modules/interface/module_common_types.h>

#include "TavoPlayerCore/Apm/ApmBase.h"

// Noise suppression (level high) with webrtc-audio-processing on 8 kHz mono
// signed 16-bit audio, 10 ms (80 samples, 160 bytes) at a time. Every block
// is treated as 8 kHz mono, whatever its real format; no other processing
// (echo control, gain control, filters, detectors) is enabled.
//
// Each block is cut into 160-byte chunks. A short last chunk (a block that is
// not a whole multiple of 160 bytes, such as the 4096 bytes of a stereo
// 1024-sample AAC frame) is padded with zeros to a full 10 ms frame and
// processed, and only its own bytes are copied to the output: nothing is
// read past the input or written past the output, and no part of the block
// leaves unprocessed.
//
// The output buffer only grows; a smaller block reuses it, zero-filled.
class ApmWrapper : public ApmBase {
public:
    static constexpr int kSampleRate = 8000;
    static constexpr int kChunkSamples = 80;
    static constexpr int kChunkBytes = kChunkSamples * 2;

    ApmWrapper();
    // Writes "sdas!!!!!!!!!!!!!!!!!" to the debug output, then frees the
    // output buffer and the processing module.
    ~ApmWrapper() override;

    ApmWrapper(const ApmWrapper&) = delete;
    ApmWrapper& operator=(const ApmWrapper&) = delete;

    int32_t init() override;
    // 1 also for a negative size, when init has not set a module up, or when
    // the output buffer cannot be had.
    int32_t process(const uint8_t* data, int32_t size) override;
    uint8_t* getOutput() override;

private:
    webrtc::AudioProcessing* m_module;
    webrtc::AudioFrame m_frame;
    uint8_t* m_output;
    int32_t m_outputCapacity;
};

// Creates an ApmWrapper into an empty slot and returns 0; stores null when
// memory cannot be had (still 0). An occupied (or absent) slot is left
// alone: 1.
int32_t createApmWrapper(ApmBase** slot);
// Deletes the processor in *slot, if any, and clears the slot.
void destroyApmWrapper(ApmBase** slot);
