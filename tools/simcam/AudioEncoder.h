#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "simcam/CameraSettings.h"
#include "simcam/ToneSource.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace simcam {

// Encodes the camera's tone into audio frames: AAC (libavcodec's own
// encoder) with an ADTS header on every frame, MP3 (libmp3lame), or G.711
// A-law / µ-law at 8000 Hz mono in frames of 160 bytes (20 ms).
//
// Frames are stamped with the media time of their first sample as the
// decoder gives it back: the encoder's start-up delay (priming) is taken off
// and the frames that hold only priming are not delivered.
class AudioEncoder {
public:
    static constexpr int kG711FrameSamples = 160;

    AudioEncoder();
    ~AudioEncoder();

    AudioEncoder(const AudioEncoder&) = delete;
    AudioEncoder& operator=(const AudioEncoder&) = delete;

    // False, with the reason in *error, when the encoder cannot be opened.
    bool open(const CameraSettings& settings, std::string* error);
    // The next audio frame; false when encoding fails.
    bool next(EncodedUnit* unit);

private:
    void close();
    // Fills m_frame with the tone from m_nextSample on.
    void fillFrame();
    void addAdtsHeader(EncodedUnit* unit) const;

    AVCodecContext* m_context;
    AVFrame* m_frame;
    AVPacket* m_packet;
    std::unique_ptr<ToneSource> m_tone;
    bool m_adts;
    int64_t m_nextSample;
    uint32_t m_nextSequence;
};

}  // namespace simcam
