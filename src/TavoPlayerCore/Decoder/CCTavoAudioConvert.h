#pragma once

#include <cstdint>

struct AVFrame;
struct SwrContext;

// Brings decoded audio frames into the one format the audio path plays:
// interleaved signed 16-bit samples at the frame's own rate and channel
// layout.
//
// Interleaved 16-bit frames pass through without a copy (the block points
// into the decoder's frame); planar float frames (AAC, MP3) are converted with
// libswresample into a buffer of kBufferSize bytes that the converter owns. A
// block stays valid until the next decode on the decoder or the next convert,
// whichever comes first. Used on the audio loop's thread under the player's
// audio lock.
class CCTavoAudioConvert {
public:
    // Blocks must stay below this size: 16383 bytes is the largest.
    static constexpr int kBufferSize = 16384;

    CCTavoAudioConvert();
    virtual ~CCTavoAudioConvert();

    CCTavoAudioConvert(const CCTavoAudioConvert&) = delete;
    CCTavoAudioConvert& operator=(const CCTavoAudioConvert&) = delete;

    // Sets the resampler up from the first frame (its layout, rate and
    // format) towards outFormat, an AVSampleFormat (the player passes
    // AV_SAMPLE_FMT_S16). Returns 0, or PLAYER_E_INVALIDARG for a null frame.
    // Later planar float frames must match the first one.
    virtual int32_t init(AVFrame* frame, int outFormat);
    // Hands out the frame as interleaved 16-bit PCM: 0 with *outData and
    // *outSize filled; PLAYER_E_INVALIDARG for a missing argument, a sample
    // format other than interleaved 16-bit or planar float, or planar float
    // before init; PLAYER_E_FAIL when the block would not fit the buffer, the
    // frame does not match the one init saw, or libswresample fails. For an
    // interleaved 16-bit frame, the frame's linesize[0] receives the
    // unpadded size of its samples.
    virtual int32_t convert(AVFrame* frame, uint8_t** outData, uint32_t* outSize);

private:
    SwrContext* m_resampler;
    uint8_t* m_buffer;
    // What init was given; planar float frames are checked against it.
    bool m_resamplerReady;
    int m_inFormat;
    int m_inRate;
    int m_inChannels;
};
