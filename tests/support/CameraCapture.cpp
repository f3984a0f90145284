#include "support/CameraCapture.h"

#include "simcam/SimulatedCamera.h"

namespace {

template <class Next>
std::vector<simcam::EncodedUnit> capture(int count, Next next) {
    std::vector<simcam::EncodedUnit> units;
    simcam::EncodedUnit unit;
    while (static_cast<int>(units.size()) < count && next(&unit)) {
        units.push_back(unit);
    }
    return units;
}

}  // namespace

std::vector<simcam::EncodedUnit> captureVideo(const simcam::CameraSettings& settings, int count) {
    simcam::SimulatedCamera camera(settings);
    return capture(count, [&](simcam::EncodedUnit* unit) { return camera.nextVideo(unit); });
}

std::vector<simcam::EncodedUnit> captureAudio(const simcam::CameraSettings& settings, int count) {
    simcam::SimulatedCamera camera(settings);
    return capture(count, [&](simcam::EncodedUnit* unit) { return camera.nextAudio(unit); });
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
