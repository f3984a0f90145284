#include "SimulatedCameraSource.h"

#include <utility>

namespace {

const char* videoCodecName(simcam::VideoCodec codec) {
    switch (codec) {
        case simcam::VideoCodec::H264:
            return "H.264";
        case simcam::VideoCodec::H265:
            return "H.265";
        case simcam::VideoCodec::None:
            break;
    }
    return "no video";
}

const char* audioCodecName(simcam::AudioCodec codec) {
    switch (codec) {
        case simcam::AudioCodec::AAC:
            return "AAC";
        case simcam::AudioCodec::MP3:
            return "MP3";
        case simcam::AudioCodec::G711ALaw:
            return "G.711 A-law";
        case simcam::AudioCodec::G711MuLaw:
            return "G.711 mu-law";
        case simcam::AudioCodec::None:
            break;
    }
    return "no audio";
}

}  // namespace

SimulatedCameraSource::SimulatedCameraSource(const simcam::CameraSettings& settings)
    : m_settings(settings), m_camera(settings), m_hasPending{false, false} {
    m_live[0] = settings.videoCodec != simcam::VideoCodec::None;
    m_live[1] = settings.audioCodec != simcam::AudioCodec::None;
}

bool SimulatedCameraSource::read(SourceUnit* unit) {
    refill(0);
    refill(1);
    int index;
    if (m_hasPending[0] && m_hasPending[1]) {
        index = m_pending[1].timeMs < m_pending[0].timeMs ? 1 : 0;
    } else if (m_hasPending[0] || m_hasPending[1]) {
        index = m_hasPending[0] ? 0 : 1;
    } else {
        return false;
    }
    simcam::EncodedUnit& next = m_pending[index];
    unit->track = index == 0 ? TRACK_VIDEO : TRACK_AUDIO;
    unit->data = std::move(next.data);
    unit->timeMs = next.timeMs;
    unit->keyFrame = next.keyFrame;
    unit->sequence = next.sequence;
    m_hasPending[index] = false;
    return true;
}

std::string SimulatedCameraSource::describe() const {
    std::string text = "simulated camera: " + std::string(videoCodecName(m_settings.videoCodec));
    if (m_settings.videoCodec != simcam::VideoCodec::None) {
        text += " " + std::to_string(m_settings.width) + "x" + std::to_string(m_settings.height) +
                " at " + std::to_string(m_settings.frameRate) + " pictures/s";
    }
    text += ", " + std::string(audioCodecName(m_settings.audioCodec));
    if (m_settings.audioCodec != simcam::AudioCodec::None) {
        const StreamInfo audio = m_camera.audioStreamInfo();
        text += " " + std::to_string(audio.rateOrWidth) + " Hz";
        text += (audio.formatOrHeight & 0xFFFF) == 1 ? " mono" : " stereo";
    }
    return text;
}

void SimulatedCameraSource::refill(int index) {
    if (m_hasPending[index] || !m_live[index]) {
        return;
    }
    const bool got =
        index == 0 ? m_camera.nextVideo(&m_pending[index]) : m_camera.nextAudio(&m_pending[index]);
    m_hasPending[index] = got;
    m_live[index] = got;
}
