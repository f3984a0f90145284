#pragma once

#include <cstdint>

// Audio processing between the converter and the audio renderer: takes
// interleaved signed 16-bit blocks and hands out the processed block of the
// same size. Called only on the audio loop's thread; created and destroyed by
// the player while no audio loop runs.
class ApmBase {
public:
    virtual ~ApmBase() {}
    // Sets the processing up: 0 when ready, 2 when that failed.
    virtual int32_t init() = 0;
    // Processes size bytes at data: 0 when the whole block was processed, 1
    // when the processing library refused it.
    virtual int32_t process(const uint8_t* data, int32_t size) = 0;
    // The processed block of the latest process call (as many bytes as it
    // was given); owned by the processor, valid until the next process.
    virtual uint8_t* getOutput() = 0;
};
