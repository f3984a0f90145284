#pragma once

#include "TavoPlayerCore/Decoder/CAVCodecDecoderAdapter.h"
#include "TavoPlayerCore/Decoder/IAudioDecoder.h"

// MP3 decoder; delivers planar float for a frame of 576 or 1152 samples per channel. Opens at
// construction.
class CMP3Decoder : public CAVCodecDecoderAdapter<IAudioDecoder> {
public:
    CMP3Decoder();
};

// Creates a CMP3Decoder into an empty slot; false for an occupied one.
bool createMP3Decoder(IAudioDecoder** slot);
