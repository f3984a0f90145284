#include "TavoPlayerCore/Decoder/CMP3Decoder.h"

#include "TavoPlayerCore/Decoder/DecoderSlot.h"

CMP3Decoder::CMP3Decoder() : CAVCodecDecoderAdapter(CAVCodecDecoder::Setup{AV_CODEC_ID_MP3}) {
    open();
}

bool createMP3Decoder(IAudioDecoder** slot) {
    return createDecoderInSlot<IAudioDecoder, CMP3Decoder>(slot);
}
