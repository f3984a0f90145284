#include "TavoPlayerCore/Decoder/CH265Decoder.h"

#include "TavoPlayerCore/Decoder/DecoderSlot.h"

CH265Decoder::CH265Decoder() : CAVCodecDecoderAdapter(CAVCodecDecoder::Setup{AV_CODEC_ID_HEVC}) {
    open();
}

bool createH265Decoder(IVideoDecoder** slot) {
    return createDecoderInSlot<IVideoDecoder, CH265Decoder>(slot);
}
