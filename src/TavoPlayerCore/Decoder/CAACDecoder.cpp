#include "TavoPlayerCore/Decoder/CAACDecoder.h"

#include "TavoPlayerCore/Decoder/DecoderSlot.h"

CAACDecoder::CAACDecoder() : CAVCodecDecoderAdapter(CAVCodecDecoder::Setup{AV_CODEC_ID_AAC}) {
    open();
}

bool createAACDecoder(IAudioDecoder** slot) {
    return createDecoderInSlot<IAudioDecoder, CAACDecoder>(slot);
}
