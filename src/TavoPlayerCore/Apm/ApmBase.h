#pragma once

#include <cstdint>

// Audio processing between the converter and the audio renderer: takes
// interleaved signed 16-bit blocks and hands out processed sound. Processing
// runs on whole 10 ms chunks, so what comes out of a block is the part of
// the sound, carried-over tail of earlier blocks first, that fills whole
// chunks; the rest is carried to the next block. Called only on the audio
// loop's thread; created and destroyed by the player while no audio loop
// runs.
class ApmBase {
public:
    virtual ~ApmBase() {}
    // Sets the processing up for 8 kHz mono: 0 when ready, 2 when that failed.
    virtual int32_t init() = 0;
    // Processes size bytes at data: 0 when the sound was taken, 1 when the
    // processing library refused it.
    virtual int32_t process(const uint8_t* data, int32_t size) = 0;
    // The processed sound of the latest process call, getOutputSize() bytes;
    // owned by the processor, valid until the next process.
    virtual uint8_t* getOutput() = 0;
    // Sets the processing up for the stream's rate and channel count and
    // drops what was carried: 0 when ready, 2 when that failed.
    virtual int32_t setFormat(int32_t sampleRate, int32_t channels) = 0;
    virtual int32_t getOutputSize() = 0;
    // Bytes taken but not yet handed out; the next process's output starts
    // with them.
    virtual int32_t getCarriedSize() = 0;
};
