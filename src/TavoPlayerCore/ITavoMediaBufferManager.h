#pragma once

#include <cstdint>

#include "tavoplayer/ITavoMediaPlayer.h"

// A store of compressed samples per track (TRACK_AUDIO, TRACK_VIDEO).
class ITavoMediaBufferManager {
public:
    virtual ~ITavoMediaBufferManager() = default;
    // Calls clear(); returns 0.
    virtual int32_t reset() = 0;
    // Frees the live input of both tracks (video first); the play lists stay.
    virtual int32_t clear() = 0;
    // Stores a deep copy of sample; returns 0.
    virtual int32_t putSample(uint32_t track, const MediaSample* sample) = 0;
    // Copies the next replay sample of the track into *out (a shallow copy whose
    // buffers stay the store's). 0, PLAYER_E_FAIL (empty) or PLAYER_E_NOMORE.
    virtual int32_t getSample(uint32_t track, MediaSample* out) = 0;
    virtual int32_t reserved1(uint32_t a, uint32_t b) = 0;
    virtual int32_t reserved2(uint32_t a, uint32_t b) = 0;
};
