#include "TavoPlayerCore/Decoder/CH264Decoder.h"

#include "TavoPlayerCore/Decoder/DecoderSlot.h"

CH264Decoder::CH264Decoder() : CAVCodecDecoderAdapter(CAVCodecDecoder::Setup{AV_CODEC_ID_H264}) {
    open();
}

bool createH264Decoder(IVideoDecoder** slot) {
    return createDecoderInSlot<IVideoDecoder, CH264Decoder>(slot);
}
