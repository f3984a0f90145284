#pragma once

#include <cstdint>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

// The libavcodec side shared by every decoder class: the codec, its context
// and the one reused frame, and the send/receive pair that turns one
// compressed sample into at most one decoded frame.
class CAVCodecDecoder {
public:
    // What a decoder class asks of libavcodec.
    struct Setup {
        AVCodecID codecId = AV_CODEC_ID_NONE;
        // PCM streams carry no header: their rate and channel count come from
        // here, and the decoder does not open without both.
        bool headerless = false;
        int sampleRate = 0;
        int channels = 0;
        // Print "could not open codec\n" when avcodec_open2 fails.
        bool reportOpenFailure = true;
    };

    CAVCodecDecoder();
    ~CAVCodecDecoder();

    CAVCodecDecoder(const CAVCodecDecoder&) = delete;
    CAVCodecDecoder& operator=(const CAVCodecDecoder&) = delete;

    // Finds the decoder ("codec not found\n" on standard error when there is
    // none) and opens it. True at once when already open.
    bool open(const Setup& setup);
    // Releases frame, packet and context; harmless when closed.
    void close();
    // One send and one receive; true when a frame came out. Whatever else the
    // sample yields is decoded into a scratch frame and dropped, so that every
    // call starts afresh and no output lags behind its input. A call that
    // yields nothing leaves the previous frame as it was: the player may show
    // it again.
    bool decode(const uint8_t* data, int size);
    // Leaves the codec's deblocking filter out of the frames decoded from
    // now on, or puts it back; kept across close and open.
    void setSkipLoopFilter(bool skip);

    // The last frame decoded (empty before the first); null while closed.
    AVFrame* frame() const { return m_frame; }

    // Largest picture a video decoder accepts (8K UHD): a stream that
    // announces more is refused before libavcodec allocates for it.
    static constexpr int64_t kMaxPixels = 7680 * 4320;

private:
    const AVCodec* m_codec;
    AVCodecContext* m_context;
    AVFrame* m_frame;
    AVFrame* m_extraFrame;
    AVPacket* m_packet;
    bool m_skipLoopFilter;
    // The sample with the zeroed padding libavcodec's readers may run into.
    std::vector<uint8_t> m_padded;
};
