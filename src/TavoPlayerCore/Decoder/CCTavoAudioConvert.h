#pragma once

#include <cstdint>
#include <vector>

struct AVFrame;
struct SwrContext;

// Brings decoded audio frames into the one format the audio path plays:
// interleaved signed 16-bit samples at the frame's own rate, mono or stereo.
//
// Interleaved 16-bit mono and stereo frames pass through without a copy (the
// block points into the decoder's frame) until the sound is sped up. Every
// other frame (planar or float samples, more than two channels) goes through
// libswresample into a buffer the converter owns; more than two channels are
// mixed down to stereo. The resampler follows the stream: a frame whose
// format, rate or layout differs from the last one sets it up afresh. A
// block stays valid until the next decode on the decoder or the next
// convert, whichever comes first. Used on the audio loop's thread under the
// player's audio lock.
//
// The converter can also play the sound slightly faster (setSpeedUp): the
// resampler then squeezes each frame into fewer samples, and every frame,
// 16-bit interleaved ones included, goes through it for the rest of the
// stream, so that the sound stays continuous when the speed-up starts and
// ends.
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

    // Blocks from the next convert on come out shorter by this fraction of
    // their frame's samples (0.04: 4 % shorter, their pitch 4 % higher); 0
    // gives whole frames again. A frame whose format differs from the last
    // one starts the stream afresh without the resampler's held-back samples.
    void setSpeedUp(double fraction);

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
    // The resampler stretches the sound (and keeps doing so at ratio 1 once
    // the speed-up ends).
    bool m_resampling;
    double m_speedUp;
    // The part of a sample that the speed-up owes beyond the whole samples
    // already taken off.
    double m_owedSamples;
};
