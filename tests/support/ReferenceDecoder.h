#pragma once

#include <cstdint>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

// Checksums of a decoded frame's planes: for pictures the visible part of
// the Y, U and V planes (4:2:0), for audio every plane's samples (one plane
// when interleaved). Padding never counts.
std::vector<uint64_t> planeChecksums(const AVFrame* frame);

// Bare libavcodec, as any program would use it, to check the engine's
// decoders against: every packet is sent, every frame received, and the
// decoder is drained at the end. Keeps the plane checksums of each frame in
// output order.
class ReferenceDecoder {
public:
    // PCM codecs take their rate and channels from here.
    explicit ReferenceDecoder(AVCodecID codecId, int sampleRate = 0, int channels = 0);
    ~ReferenceDecoder();

    ReferenceDecoder(const ReferenceDecoder&) = delete;
    ReferenceDecoder& operator=(const ReferenceDecoder&) = delete;

    bool isOpen() const { return m_context != nullptr; }
    void decode(const uint8_t* data, int size);
    void drain();
    const std::vector<std::vector<uint64_t>>& frames() const { return m_frames; }

private:
    void receiveAll();

    AVCodecContext* m_context;
    AVFrame* m_frame;
    AVPacket* m_packet;
    std::vector<std::vector<uint64_t>> m_frames;
};
