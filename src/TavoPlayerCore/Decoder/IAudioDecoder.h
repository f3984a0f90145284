#pragma once

#include <cstdint>

struct AVFrame;

// An audio decoder: one compressed audio frame in, at most one frame of
// samples out. Same operations, order and meaning as IVideoDecoder.
//
// The decoded frame is libavcodec's, owned by the decoder: format,
// nb_samples, ch_layout, sample_rate, and the samples in data (one plane for
// interleaved formats, one per channel for planar ones). It stays valid until
// the next decode, close or reset. All operations run on the thread that
// holds the player's audio lock.
class IAudioDecoder {
public:
    virtual ~IAudioDecoder() {}
    virtual bool open() = 0;
    virtual bool close() = 0;
    virtual bool reset() = 0;
    // Decodes one sample; true when a frame of samples came out of it. When a
    // sample holds several frames only the first one is handed out.
    virtual bool decode(const uint8_t* data, int size) = 0;
    virtual bool getFrame(AVFrame** out) = 0;
};
