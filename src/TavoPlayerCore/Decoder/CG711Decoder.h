#pragma once

#include <cstdint>

#include "TavoPlayerCore/Decoder/CAVCodecDecoderAdapter.h"
#include "TavoPlayerCore/Decoder/IAudioDecoder.h"

// G.711 decoder (libavcodec's expansion tables). The stream has no header, so
// the law, the sample rate and the channel count are fixed at construction;
// delivers interleaved signed 16-bit samples. Opens at construction; a law
// other than 1 or 2 never opens ("codec not found\n"), and an open failure
// prints nothing.
class CG711Decoder : public CAVCodecDecoderAdapter<IAudioDecoder> {
public:
    enum Law : uint32_t { kALaw = 1, kMuLaw = 2 };

    // channelWord: channels in the low 16 bits (the high 16 bits, bits per
    // sample in a stream description, are not used).
    CG711Decoder(uint32_t law, uint32_t sampleRate, uint32_t channelWord);
};

// Creates a CG711Decoder into an empty slot; false for an occupied one.
bool createG711Decoder(IAudioDecoder** slot, uint32_t law, uint32_t sampleRate,
                       uint32_t channelWord);
