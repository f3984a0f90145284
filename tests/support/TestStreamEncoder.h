#pragma once

#include <cstdint>
#include <vector>

// One encoded sample as a camera hands it over: a video access unit in Annex B
// (parameter sets in-band before every key frame) or one self-contained audio
// frame (ADTS for AAC), stamped in milliseconds.
struct EncodedSample {
    std::vector<uint8_t> data;
    uint32_t timeMs;
    bool key;
};

// Encodes deterministic test streams in memory with libavcodec: a moving
// pattern with fixed noise for video, a tone for audio. Throws
// std::runtime_error when an encoder is missing or refuses its settings.
class TestStreamEncoder {
public:
    enum class VideoCodec { H264, H265 };
    enum class AudioCodec { Aac, Mp3, G711A, G711U };

    struct VideoSettings {
        VideoCodec codec = VideoCodec::H264;
        int width = 320;
        int height = 240;
        int fps = 25;
        int keyInterval = 10;  // a key frame every keyInterval frames, no B-frames
        int64_t bitRate = 0;   // bits per second; 0 keeps the encoder's constant quality
        uint32_t startMs = 0;  // time of the first frame
    };

    // frames access units; frame i is stamped startMs + i * 1000 / fps.
    static std::vector<EncodedSample> encodeVideo(const VideoSettings& settings, int frames);

    // Whole audio frames covering at least durationMs of a mono tone: 16 kHz
    // for AAC and MP3, 8 kHz in 20 ms frames for G.711. Each frame is stamped
    // startMs plus the time of its first sample.
    static std::vector<EncodedSample> encodeAudio(AudioCodec codec, uint32_t durationMs,
                                                  uint32_t startMs = 0);
};
