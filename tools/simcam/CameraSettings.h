#pragma once

#include <cstdint>
#include <vector>

namespace simcam {

enum class VideoCodec { None, H264, H265 };
enum class AudioCodec { None, AAC, MP3, G711ALaw, G711MuLaw };
// How the encoder stores the pictures: 8-bit 4:2:0 like most cameras,
// monochrome, 10-bit 4:2:0, or 8-bit 4:2:2 and 4:4:4.
enum class PixelFormat { YUV420, Gray, YUV420TenBit, YUV422, YUV444 };

// What the simulated camera produces. The same settings always give the same
// bytes.
struct CameraSettings {
    VideoCodec videoCodec = VideoCodec::H264;
    int width = 1280;
    int height = 720;
    // Whole pictures per second; the picture at each whole second flashes.
    int frameRate = 25;
    // Pictures from one key frame to the next; every key frame carries the
    // parameter sets.
    int keyFrameInterval = 25;
    // Constant rate factor of the encoder (lower is better quality).
    int quality = 23;
    // Bits per second instead of constant quality, held to that rate over
    // every second; 0 keeps the constant quality.
    int bitRate = 0;
    // The number drawn in every picture, such as a camera's place in a grid;
    // < 0: the picture number.
    int shownNumber = -1;
    PixelFormat pixelFormat = PixelFormat::YUV420;

    AudioCodec audioCodec = AudioCodec::AAC;
    // AAC and MP3 only, unless g711AtAudioRate is set: G.711 is otherwise
    // 8000 Hz mono in 160-byte frames, as cameras send it.
    int audioSampleRate = 16000;
    int audioChannels = 1;
    // G.711 at audioSampleRate and audioChannels, in frames of 20 ms.
    bool g711AtAudioRate = false;
    // Length of the beep that starts at each whole second.
    int beepMs = 40;
};

// One access unit (Annex B) or one audio frame (ADTS for AAC) as a network
// camera delivers it.
struct EncodedUnit {
    std::vector<uint8_t> data;
    // Presentation time in milliseconds from the start of the stream.
    uint32_t timeMs = 0;
    bool keyFrame = false;
    // Picture number (video) or frame number (audio), from 0.
    uint32_t sequence = 0;
};

}  // namespace simcam
