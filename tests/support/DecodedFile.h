#pragma once

#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/avutil.h>
}

// A media file (MP4 recording, JPEG snapshot, converted stream) opened with
// libavformat and every packet of every stream decoded with libavcodec, as
// any player would read it.
class DecodedFile {
public:
    struct Stream {
        AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
        AVCodecID codec = AV_CODEC_ID_NONE;
        // The first bytes of the first packet.
        std::vector<uint8_t> firstPacket;
        // Each packet's presentation time and key flag, in file order.
        std::vector<int64_t> timesMs;
        std::vector<bool> keys;
        int frames = 0;
        int decodeErrors = 0;
        // Of the first decoded picture, and its Y, U and V planes (4:2:0)
        // with rows packed.
        int width = 0;
        int height = 0;
        std::vector<std::vector<uint8_t>> planes;
        int sampleRate = 0;
    };

    explicit DecodedFile(const std::string& path);

    bool opened() const { return m_opened; }
    const std::vector<Stream>& streams() const { return m_streams; }
    // The first stream of the type, or null.
    const Stream* find(AVMediaType type) const;

private:
    bool m_opened;
    std::vector<Stream> m_streams;
};
