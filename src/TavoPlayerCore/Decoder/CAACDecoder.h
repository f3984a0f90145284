#pragma once

#include "TavoPlayerCore/Decoder/CAVCodecDecoderAdapter.h"
#include "TavoPlayerCore/Decoder/IAudioDecoder.h"

// AAC decoder for ADTS frames (the header carries rate and channels); delivers planar float. Opens
// at construction.
class CAACDecoder : public CAVCodecDecoderAdapter<IAudioDecoder> {
public:
    CAACDecoder();
};

// Creates a CAACDecoder into an empty slot; false for an occupied one.
bool createAACDecoder(IAudioDecoder** slot);
