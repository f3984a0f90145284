#include "simcam/SimulatedCamera.h"

namespace simcam {

namespace {

bool isG711(AudioCodec codec) {
    return codec == AudioCodec::G711ALaw || codec == AudioCodec::G711MuLaw;
}

}  // namespace

SimulatedCamera::SimulatedCamera(const CameraSettings& settings) : m_settings(settings) {
    if (isG711(m_settings.audioCodec) && !m_settings.g711AtAudioRate) {
        m_settings.audioSampleRate = 8000;
        m_settings.audioChannels = 1;
    }
    if (m_settings.videoCodec != VideoCodec::None && !m_video.open(m_settings, &m_error)) {
        return;
    }
    if (m_settings.audioCodec != AudioCodec::None) {
        m_audio.open(m_settings, &m_error);
    }
}

bool SimulatedCamera::nextVideo(EncodedUnit* unit) {
    return isOpen() && m_video.next(unit);
}

bool SimulatedCamera::nextAudio(EncodedUnit* unit) {
    return isOpen() && m_audio.next(unit);
}

StreamInfo SimulatedCamera::videoStreamInfo() const {
    StreamInfo info{};
    info.kind = STREAM_VIDEO;
    switch (m_settings.videoCodec) {
        case VideoCodec::H264:
            info.codecType = VIDEO_H264;
            break;
        case VideoCodec::H265:
            info.codecType = VIDEO_H265;
            break;
        case VideoCodec::None:
            info.codecType = CODEC_NONE;
            break;
    }
    info.rateOrWidth = static_cast<uint32_t>(m_settings.width);
    info.formatOrHeight = static_cast<uint32_t>(m_settings.height);
    return info;
}

StreamInfo SimulatedCamera::audioStreamInfo() const {
    StreamInfo info{};
    info.kind = STREAM_AUDIO;
    switch (m_settings.audioCodec) {
        case AudioCodec::AAC:
            info.codecType = AUDIO_AAC;
            break;
        case AudioCodec::MP3:
            info.codecType = AUDIO_MP3;
            break;
        case AudioCodec::G711ALaw:
            info.codecType = AUDIO_G711A;
            break;
        case AudioCodec::G711MuLaw:
            info.codecType = AUDIO_G711U;
            break;
        case AudioCodec::None:
            info.codecType = CODEC_NONE;
            break;
    }
    info.rateOrWidth = static_cast<uint32_t>(m_settings.audioSampleRate);
    info.formatOrHeight = static_cast<uint32_t>(m_settings.audioChannels) | (16u << 16);
    return info;
}

}  // namespace simcam
