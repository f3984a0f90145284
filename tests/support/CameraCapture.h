#pragma once

#include <string>
#include <vector>

#include "simcam/CameraSettings.h"

class CMediaRecord;

// The first count video access units or audio frames of a simulated camera
// with these settings (fewer if the camera fails).
std::vector<simcam::EncodedUnit> captureVideo(const simcam::CameraSettings& settings, int count);
std::vector<simcam::EncodedUnit> captureAudio(const simcam::CameraSettings& settings, int count);

// Small, fast test settings: 320x240 pictures, video codec as given, no audio.
simcam::CameraSettings smallVideoSettings(simcam::VideoCodec codec);
// Audio only, with the given codec, rate and channels.
simcam::CameraSettings audioSettings(simcam::AudioCodec codec, int sampleRate, int channels);

// The camera's first pictures (and the sound beside them, when it has AAC)
// written to path by the engine's recorder: an MP4 whose video is AVCC (avcC
// and length-prefixed NAL units) and whose audio is raw AAC.
void recordCamera(const simcam::CameraSettings& settings, int pictures, const std::string& path);

// Hands the units to the recorder in time order, as the player's loops
// would (a picture before the sound of its time); without keyFlags the key
// frames are not flagged.
void feedRecorder(CMediaRecord& recorder, const std::vector<simcam::EncodedUnit>& video,
                  const std::vector<simcam::EncodedUnit>& audio = {}, bool keyFlags = true);

// Whether an Annex B access unit holds a NAL unit of the type (H.265's
// numbering when h265, else H.264's).
bool hasNalUnit(const std::vector<uint8_t>& unit, bool h265, int type);
