#pragma once

#include <webrtc/modules/audio_processing/include/audio_processing.h>
#include <webrtc/modules/interface/module_common_types.h>

#include <vector>

#include "TavoPlayerCore/Apm/ApmBase.h"

struct SwrContext;

// Noise suppression (level high) with webrtc-audio-processing on interleaved
// signed 16-bit audio, 10 ms at a time, on each of the stream's one or two
// channels. No other processing (echo control, gain control, filters,
// detectors) is enabled.
//
// The suppressor runs only at 8, 16, 32 and 48 kHz. Sound at another rate
// (11.025, 22.05, 44.1 kHz, ...) is resampled with libswresample up to the
// next of those rates (above 48 kHz: down to 48 kHz), suppressed there and
// resampled back to its own rate. (The suppressor once passed such rates
// through unfiltered; a noisy 44.1 kHz stream is as noisy as an 8 kHz one.)
// Both resamplers keep their state from block to block, and their output is
// aligned in time with their input, so the round trip keeps pitch, length
// and timing.
//
// A block's last partial 10 ms chunk is carried over and processed together
// with the start of the next block, so that block-wise processing gives the
// same sound as one continuous pass. (The engine once padded that chunk with
// zeros and processed it on its own, which put a click at every block end.)
class ApmWrapper : public ApmBase {
public:
    ApmWrapper();
    // Writes "sdas!!!!!!!!!!!!!!!!!" to the debug output, then frees the
    // processing module and the resamplers.
    ~ApmWrapper() override;

    ApmWrapper(const ApmWrapper&) = delete;
    ApmWrapper& operator=(const ApmWrapper&) = delete;

    int32_t init() override;
    // 1 also for a negative size or when no module is set up; null data with a
    // size is taken as silence.
    int32_t process(const uint8_t* data, int32_t size) override;
    uint8_t* getOutput() override;
    // Sound without a rate or with other than one or two channels is passed
    // through unchanged (0), and so is sound of a format that cannot be set
    // up (2).
    int32_t setFormat(int32_t sampleRate, int32_t channels) override;
    int32_t getOutputSize() override;
    // Counted at the stream's rate, including what the resamplers hold.
    int32_t getCarriedSize() override;

private:
    // Frees the resamplers and passes sound through until set up again.
    void release();

    webrtc::AudioProcessing* m_module;
    webrtc::AudioFrame m_frame;
    int m_sampleRate;
    int m_channels;
    // The rate the suppressor runs at.
    int m_workRate;
    bool m_suppressing;
    // From the stream's rate to the suppressor's, and back.
    SwrContext* m_up;
    SwrContext* m_down;
    // Bytes of one sample on every channel.
    size_t m_frameBytes;
    // Bytes of one 10 ms chunk at the suppressor's rate.
    size_t m_chunkBytes;
    // A partial sample given in, at the stream's rate (or, passed through,
    // the whole block).
    std::vector<uint8_t> m_input;
    // The partial chunk, at the suppressor's rate.
    std::vector<uint8_t> m_carried;
    std::vector<uint8_t> m_output;
};

// Creates an ApmWrapper into an empty slot and returns 0; stores null when
// memory cannot be had (still 0). An occupied (or absent) slot is left
// alone: 1.
int32_t createApmWrapper(ApmBase** slot);
// Deletes the processor in *slot, if any, and clears the slot.
void destroyApmWrapper(ApmBase** slot);
