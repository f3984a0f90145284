#pragma once

#include <string>

#include "simcam/AudioEncoder.h"
#include "simcam/CameraSettings.h"
#include "simcam/VideoEncoder.h"
#include "tavoplayer/ITavoMediaPlayer.h"

namespace simcam {

// A network camera in a box: hands out the compressed video access units
// and audio frames a camera would send, each with its millisecond timestamp
// and key-frame flag, and the stream descriptions a host passes to the
// player before them.
//
// The picture is TestPattern with the picture number in it; it flashes
// white for the picture at each whole second, when the sound (ToneSource)
// beeps. Video and audio are independent streams: call nextVideo and
// nextAudio in whatever order the consumer wants them, for instance by
// comparing timestamps. Not thread-safe; use one camera per thread.
class SimulatedCamera {
public:
    // Opens the encoders at once; check isOpen.
    explicit SimulatedCamera(const CameraSettings& settings);

    SimulatedCamera(const SimulatedCamera&) = delete;
    SimulatedCamera& operator=(const SimulatedCamera&) = delete;

    // False when an encoder could not be opened; error() says why.
    bool isOpen() const { return m_error.empty(); }
    const std::string& error() const { return m_error; }

    // The next access unit or audio frame; false when the camera has no such
    // stream or encoding failed.
    bool nextVideo(EncodedUnit* unit);
    bool nextAudio(EncodedUnit* unit);

    // The stream descriptions of the camera's streams (codec CODEC_NONE for
    // a stream it does not have). Audio carries 16 bits per sample.
    StreamInfo videoStreamInfo() const;
    StreamInfo audioStreamInfo() const;

private:
    CameraSettings m_settings;
    std::string m_error;
    VideoEncoder m_video;
    AudioEncoder m_audio;
};

}  // namespace simcam
