#pragma once

#include <cstdint>
#include <vector>

struct AVFrame;
struct SwrContext;

// Brings decoded audio frames into the one format the audio path plays:
// interleaved signed 16-bit samples at the frame's own rate, mono or stereo.
//
// Interleaved 16-bit mono and stereo frames pass through without a copy (the
// block points into the decoder's frame). Every other frame (planar or float
// samples, more than two channels) goes through libswresample into a buffer
// the converter owns; more than two channels are mixed down to stereo. The
// resampler follows the stream: a frame whose format, rate or layout differs
// from the last one sets it up afresh. A block stays valid until the next
// decode on the decoder or the next convert, whichever comes first. Used on
// the audio loop's thread under the player's audio lock.
class CCTavoAudioConvert {
public:
    CCTavoAudioConvert();
    virtual ~CCTavoAudioConvert();

    CCTavoAudioConvert(const CCTavoAudioConvert&) = delete;
    CCTavoAudioConvert& operator=(const CCTavoAudioConvert&) = delete;

    // Sets the resampler up for frames like this one towards outFormat, an
    // AVSampleFormat (the player passes AV_SAMPLE_FMT_S16). Returns 0,
    // PLAYER_E_INVALIDARG for a null frame, PLAYER_E_FAIL when libswresample
    // refuses the conversion.
    virtual int32_t init(AVFrame* frame, int outFormat);
    // Hands out the frame as interleaved 16-bit PCM with outputChannels(frame)
    // channels: 0 with *outData and *outSize filled; PLAYER_E_INVALIDARG for
    // a missing argument or a frame without samples; PLAYER_E_FAIL when
    // libswresample fails. For an interleaved 16-bit frame, the frame's
    // linesize[0] receives the unpadded size of its samples.
    virtual int32_t convert(AVFrame* frame, uint8_t** outData, uint32_t* outSize);

    // Channels of the blocks made from such a frame: 1 or 2 (0 for none).
    static int outputChannels(const AVFrame* frame);

private:
    bool matches(const AVFrame* frame) const;

    SwrContext* m_resampler;
    std::vector<uint8_t> m_buffer;
    // What the resampler was set up for.
    int m_outFormat;
    int m_inFormat;
    int m_inRate;
    uint64_t m_inMask;
    int m_inChannels;
};
