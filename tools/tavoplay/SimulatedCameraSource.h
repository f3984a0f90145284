#pragma once

#include "IMediaSource.h"
#include "simcam/SimulatedCamera.h"

// The simulated network camera as a source: video and audio merged by time,
// without end.
class SimulatedCameraSource : public IMediaSource {
public:
    explicit SimulatedCameraSource(const simcam::CameraSettings& settings);

    // False when an encoder could not be opened; error() says why.
    bool isOpen() const { return m_camera.isOpen(); }

    StreamInfo videoStreamInfo() const override { return m_camera.videoStreamInfo(); }
    StreamInfo audioStreamInfo() const override { return m_camera.audioStreamInfo(); }
    bool read(SourceUnit* unit) override;
    const std::string& error() const override { return m_camera.error(); }
    std::string describe() const override;

private:
    // Encodes the next unit of the track into m_pending when it is empty.
    void refill(int index);

    simcam::CameraSettings m_settings;
    simcam::SimulatedCamera m_camera;
    // The next unit of each track (index 0 video, 1 audio), not yet handed out.
    simcam::EncodedUnit m_pending[2];
    bool m_hasPending[2];
    // False once the track has no more units (or none at all).
    bool m_live[2];
};
