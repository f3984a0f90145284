#include "TavoPlayerCore/Decoder/CG711Decoder.h"

#include "TavoPlayerCore/Decoder/DecoderSlot.h"

namespace {

CAVCodecDecoder::Setup g711Setup(uint32_t law, uint32_t sampleRate, uint32_t channelWord) {
    CAVCodecDecoder::Setup setup;
    switch (law) {
        case CG711Decoder::kALaw:
            setup.codecId = AV_CODEC_ID_PCM_ALAW;
            break;
        case CG711Decoder::kMuLaw:
            setup.codecId = AV_CODEC_ID_PCM_MULAW;
            break;
        default:
            setup.codecId = AV_CODEC_ID_NONE;
            break;
    }
    setup.headerless = true;
    setup.sampleRate = sampleRate > INT32_MAX ? 0 : static_cast<int>(sampleRate);
    setup.channels = static_cast<int>(channelWord & 0xFFFFu);
    setup.reportOpenFailure = false;
    return setup;
}

}  // namespace

CG711Decoder::CG711Decoder(uint32_t law, uint32_t sampleRate, uint32_t channelWord)
    : CAVCodecDecoderAdapter(g711Setup(law, sampleRate, channelWord)) {
    open();
}

bool createG711Decoder(IAudioDecoder** slot, uint32_t law, uint32_t sampleRate,
                       uint32_t channelWord) {
    return createDecoderInSlot<IAudioDecoder, CG711Decoder>(slot, law, sampleRate, channelWord);
}
