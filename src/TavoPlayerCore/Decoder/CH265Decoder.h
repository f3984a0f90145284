#pragma once

#include "TavoPlayerCore/Decoder/CAVCodecDecoderAdapter.h"
#include "TavoPlayerCore/Decoder/IVideoDecoder.h"

// H.265 (HEVC) decoder for Annex B access units with in-band parameter sets. Opens
// at construction.
class CH265Decoder : public CAVCodecDecoderAdapter<IVideoDecoder> {
public:
    CH265Decoder();

    void setSkipLoopFilter(bool skip) override { decoder().setSkipLoopFilter(skip); }
};

// Creates a CH265Decoder into an empty slot; false for an occupied one.
bool createH265Decoder(IVideoDecoder** slot);
