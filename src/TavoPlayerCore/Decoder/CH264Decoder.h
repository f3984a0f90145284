#pragma once

#include "TavoPlayerCore/Decoder/CAVCodecDecoderAdapter.h"
#include "TavoPlayerCore/Decoder/IVideoDecoder.h"

// H.264 decoder for Annex B access units with in-band parameter sets. Opens
// at construction.
class CH264Decoder : public CAVCodecDecoderAdapter<IVideoDecoder> {
public:
    CH264Decoder();

    void setSkipLoopFilter(bool skip) override { decoder().setSkipLoopFilter(skip); }
};

// Creates a CH264Decoder into an empty slot; false for an occupied one.
bool createH264Decoder(IVideoDecoder** slot);
