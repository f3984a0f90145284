// Writes the fuzzers' seed corpora from the simulated camera: for the
// decoder fuzzer, each decoder's first samples (video also in its other
// pixel formats); for the sample-path fuzzer, short camera streams with
// their descriptions on both tracks, one per renderer, one with the frame
// store. Usage: fuzz_seeds <directory>; writes <directory>/decoder/* and
// <directory>/sample_path/*.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "SampleScript.h"
#include "simcam/SimulatedCamera.h"
#include "support/CameraCapture.h"

namespace {

using simcam::AudioCodec;
using simcam::PixelFormat;
using simcam::VideoCodec;

simcam::CameraSettings small(VideoCodec video, AudioCodec audio,
                             PixelFormat format = PixelFormat::YUV420) {
    simcam::CameraSettings settings;
    settings.videoCodec = video;
    settings.audioCodec = audio;
    settings.width = 96;
    settings.height = 64;
    settings.keyFrameInterval = 4;
    settings.pixelFormat = format;
    settings.audioSampleRate = 8000;
    return settings;
}

void save(const std::filesystem::path& file, const std::vector<uint8_t>& bytes) {
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

void appendSample(std::vector<uint8_t>* out, const std::vector<uint8_t>& sample) {
    out->push_back(static_cast<uint8_t>(sample.size()));
    out->push_back(static_cast<uint8_t>(sample.size() >> 8));
    out->insert(out->end(), sample.begin(), sample.end());
}

// The decoder fuzzer's input: the decoder's number, G.711's rate and channel
// word, then the camera's first samples.
std::vector<uint8_t> decoderSeed(uint8_t decoder, const simcam::CameraSettings& settings) {
    // G.711 at 8000 Hz, mono, 16 bits.
    std::vector<uint8_t> out =
        decoder >= 4 ? std::vector<uint8_t>{decoder, 0x40, 0x1F, 0x01, 0x00, 0x10, 0x00}
                     : std::vector<uint8_t>{decoder};
    for (const simcam::EncodedUnit& unit :
         decoder < 2 ? captureVideo(settings, 6) : captureAudio(settings, 6)) {
        appendSample(&out, unit.data);
    }
    return out;
}

// Half a second of the camera on both tracks, each track with its description.
std::vector<uint8_t> sampleScriptSeed(uint8_t options, const simcam::CameraSettings& settings) {
    simcam::SimulatedCamera camera(settings);
    SampleScript script;
    script.options = options;
    for (const bool video : {true, false}) {
        const int32_t track = video ? TRACK_VIDEO : TRACK_AUDIO;
        ScriptedHost::Item description;
        description.timeMs = 10000;
        description.flags = MEDIA_FLAG_DESCRIPTION;
        description.withInfo = true;
        description.info = video ? camera.videoStreamInfo() : camera.audioStreamInfo();
        script.entries.push_back({track, description});
        simcam::EncodedUnit unit;
        while ((video ? camera.nextVideo(&unit) : camera.nextAudio(&unit)) && unit.timeMs < 500) {
            ScriptedHost::Item item;
            item.timeMs = 10000 + unit.timeMs;
            item.flags = unit.keyFrame ? MEDIA_FLAG_KEYFRAME : 0;
            item.data = unit.data;
            script.entries.push_back({track, item});
        }
    }
    return script.bytes();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds <directory>\n");
        return 2;
    }
    const std::filesystem::path root(argv[1]);
    std::filesystem::create_directories(root / "decoder");
    std::filesystem::create_directories(root / "sample_path");
    const PixelFormat formats[] = {PixelFormat::YUV420, PixelFormat::Gray,
                                   PixelFormat::YUV420TenBit, PixelFormat::YUV422,
                                   PixelFormat::YUV444};
    for (const PixelFormat format : formats) {
        const std::string name = std::to_string(static_cast<int>(format));
        save(root / "decoder" / ("h264-" + name),
             decoderSeed(0, small(VideoCodec::H264, AudioCodec::None, format)));
        save(root / "decoder" / ("h265-" + name),
             decoderSeed(1, small(VideoCodec::H265, AudioCodec::None, format)));
    }
    const AudioCodec audio[] = {AudioCodec::AAC, AudioCodec::MP3, AudioCodec::G711ALaw,
                                AudioCodec::G711MuLaw};
    for (uint8_t i = 0; i < 4; ++i) {
        save(root / "decoder" / ("audio-" + std::to_string(i)),
             decoderSeed(static_cast<uint8_t>(2 + i), small(VideoCodec::None, audio[i])));
    }
    save(root / "sample_path" / "h264-aac-ddraw",
         sampleScriptSeed(0, small(VideoCodec::H264, AudioCodec::AAC)));
    save(root / "sample_path" / "h265-g711-d3d",
         sampleScriptSeed(1, small(VideoCodec::H265, AudioCodec::G711ALaw)));
    save(root / "sample_path" / "h264-gray-mp3-d3dtx",
         sampleScriptSeed(2, small(VideoCodec::H264, AudioCodec::MP3, PixelFormat::Gray)));
    save(root / "sample_path" / "h265-444-mulaw-store",
         sampleScriptSeed(4, small(VideoCodec::H265, AudioCodec::G711MuLaw, PixelFormat::YUV444)));
    return 0;
}
