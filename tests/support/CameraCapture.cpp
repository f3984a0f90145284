#include "support/CameraCapture.h"

#include <gtest/gtest.h>

#include "TavoPlayerCore/Record/CMediaRecord.h"
#include "simcam/SimulatedCamera.h"

namespace {

std::vector<simcam::EncodedUnit> capture(
    const simcam::CameraSettings& settings, int count,
    bool (simcam::SimulatedCamera::*next)(simcam::EncodedUnit*)) {
    simcam::SimulatedCamera camera(settings);
    std::vector<simcam::EncodedUnit> units;
    simcam::EncodedUnit unit;
    while (static_cast<int>(units.size()) < count && (camera.*next)(&unit)) {
        units.push_back(unit);
    }
    return units;
}

}  // namespace

std::vector<simcam::EncodedUnit> captureVideo(const simcam::CameraSettings& settings, int count) {
    return capture(settings, count, &simcam::SimulatedCamera::nextVideo);
}

std::vector<simcam::EncodedUnit> captureAudio(const simcam::CameraSettings& settings, int count) {
    return capture(settings, count, &simcam::SimulatedCamera::nextAudio);
}

simcam::CameraSettings smallVideoSettings(simcam::VideoCodec codec) {
    simcam::CameraSettings settings;
    settings.videoCodec = codec;
    settings.width = 320;
    settings.height = 240;
    settings.keyFrameInterval = 10;
    settings.audioCodec = simcam::AudioCodec::None;
    return settings;
}

simcam::CameraSettings audioSettings(simcam::AudioCodec codec, int sampleRate, int channels) {
    simcam::CameraSettings settings;
    settings.videoCodec = simcam::VideoCodec::None;
    settings.audioCodec = codec;
    settings.audioSampleRate = sampleRate;
    settings.audioChannels = channels;
    return settings;
}

void recordCamera(const simcam::CameraSettings& settings, int pictures, const std::string& path) {
    simcam::SimulatedCamera camera(settings);
    std::vector<simcam::EncodedUnit> video;
    std::vector<simcam::EncodedUnit> audio;
    simcam::EncodedUnit unit;
    while (static_cast<int>(video.size()) < pictures && camera.nextVideo(&unit)) {
        video.push_back(unit);
    }
    while (!video.empty() && camera.nextAudio(&unit) && unit.timeMs <= video.back().timeMs) {
        audio.push_back(unit);
    }
    CMediaRecord recorder;
    recorder.setAudioCodec(settings.audioCodec == simcam::AudioCodec::AAC ? AUDIO_AAC : CODEC_NONE);
    recorder.setFileName(path.c_str());
    feedRecorder(recorder, video, audio);
    recorder.stopRecord();
}

void feedRecorder(CMediaRecord& recorder, const std::vector<simcam::EncodedUnit>& video,
                  const std::vector<simcam::EncodedUnit>& audio, bool keyFlags) {
    size_t v = 0;
    size_t a = 0;
    while (v < video.size() || a < audio.size()) {
        const bool takeAudio =
            a < audio.size() && (v >= video.size() || audio[a].timeMs < video[v].timeMs);
        const simcam::EncodedUnit& unit = takeAudio ? audio[a++] : video[v++];
        MediaSample sample{};
        sample.ulTime = unit.timeMs;
        sample.ulFlags = unit.keyFrame && keyFlags ? MEDIA_FLAG_KEYFRAME : 0;
        sample.ulsize = static_cast<uint32_t>(unit.data.size());
        sample.pData = const_cast<uint8_t*>(unit.data.data());
        EXPECT_EQ(0, recorder.input(&sample, takeAudio ? TRACK_AUDIO : TRACK_VIDEO));
    }
}

bool hasNalUnit(const std::vector<uint8_t>& unit, bool h265, int type) {
    for (size_t i = 0; i + 3 < unit.size(); ++i) {
        if (unit[i] == 0 && unit[i + 1] == 0 && unit[i + 2] == 1 &&
            (h265 ? (unit[i + 3] >> 1) & 0x3F : unit[i + 3] & 0x1F) == type) {
            return true;
        }
    }
    return false;
}
