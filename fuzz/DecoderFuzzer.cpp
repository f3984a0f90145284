// libFuzzer target on each decoder with the converter behind it: byte 0
// picks the decoder (H.264, H.265, AAC, MP3, G.711 A-law, G.711 mu-law; the
// G.711 ones take a rate and a channel word from the next 6 bytes), then
// samples follow, each a 2-byte little-endian length and its bytes. Every
// picture is converted for the renderers and every byte of it read; every
// audio frame is converted to the sound card's format.

extern "C" {
#include <libavutil/frame.h>
}

#include <memory>
#include <vector>

#include "TavoPlayerCore/Decoder/CAACDecoder.h"
#include "TavoPlayerCore/Decoder/CCTavoAudioConvert.h"
#include "TavoPlayerCore/Decoder/CG711Decoder.h"
#include "TavoPlayerCore/Decoder/CH264Decoder.h"
#include "TavoPlayerCore/Decoder/CH265Decoder.h"
#include "TavoPlayerCore/Decoder/CMP3Decoder.h"
#include "TavoPlayerCore/Decoder/CVideoFrameConverter.h"

namespace {

uint32_t readLittleEndian(const uint8_t*& data, const uint8_t* end, int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes && data < end; ++i) {
        value |= static_cast<uint32_t>(*data++) << (8 * i);
    }
    return value;
}

// Sums every byte of a converted picture's rows, so that AddressSanitizer
// sees a plane that is short or gone.
uint32_t touch(const VideoPicture& picture, int width, int height) {
    uint32_t sum = 0;
    for (int i = 0; i < 3; ++i) {
        const int rows = i == 0 ? height : (height + 1) / 2;
        const int columns = i == 0 ? width : (width + 1) / 2;
        for (int y = 0; y < rows; ++y) {
            for (int x = 0; x < columns; ++x) {
                sum += picture.data[i][static_cast<ptrdiff_t>(y) * picture.linesize[i] + x];
            }
        }
    }
    return sum;
}

void decodeVideo(IVideoDecoder& decoder, const std::vector<std::vector<uint8_t>>& samples) {
    CVideoFrameConverter converter;
    volatile uint32_t sink = 0;
    for (const std::vector<uint8_t>& sample : samples) {
        AVFrame* frame = nullptr;
        VideoPicture picture{};
        if (decoder.decode(sample.data(), static_cast<int>(sample.size())) &&
            decoder.getFrame(&frame) && converter.convert(frame, &picture)) {
            sink = sink + touch(picture, frame->width, frame->height);
        }
    }
}

void decodeAudio(IAudioDecoder& decoder, const std::vector<std::vector<uint8_t>>& samples) {
    CCTavoAudioConvert converter;
    bool initialised = false;
    volatile uint32_t sink = 0;
    for (const std::vector<uint8_t>& sample : samples) {
        AVFrame* frame = nullptr;
        if (!decoder.decode(sample.data(), static_cast<int>(sample.size())) ||
            !decoder.getFrame(&frame)) {
            continue;
        }
        if (!initialised) {
            initialised = converter.init(frame, AV_SAMPLE_FMT_S16) == 0;
        }
        uint8_t* block = nullptr;
        uint32_t size = 0;
        if (converter.convert(frame, &block, &size) == 0) {
            for (uint32_t i = 0; i < size; ++i) {
                sink = sink + block[i];
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* end = data + size;
    const uint32_t choice = readLittleEndian(data, end, 1) % 6;
    const uint32_t rate = choice >= 4 ? readLittleEndian(data, end, 2) : 0;
    const uint32_t channelWord = choice >= 4 ? readLittleEndian(data, end, 4) : 0;
    std::vector<std::vector<uint8_t>> samples;
    while (data < end) {
        const uint32_t length = readLittleEndian(data, end, 2);
        const size_t taken = std::min<size_t>(length, static_cast<size_t>(end - data));
        samples.emplace_back(data, data + taken);
        data += taken;
    }
    if (choice < 2) {
        const std::unique_ptr<IVideoDecoder> decoder(
            choice == 0 ? static_cast<IVideoDecoder*>(new CH264Decoder) : new CH265Decoder);
        decodeVideo(*decoder, samples);
        return 0;
    }
    const std::unique_ptr<IAudioDecoder> decoder(
        choice == 2   ? new CAACDecoder
        : choice == 3 ? static_cast<IAudioDecoder*>(new CMP3Decoder)
                      : new CG711Decoder(choice == 4 ? CG711Decoder::kALaw : CG711Decoder::kMuLaw,
                                         rate, channelWord));
    decodeAudio(*decoder, samples);
    return 0;
}
