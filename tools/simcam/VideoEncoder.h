#pragma once

#include <cstdint>
#include <string>

#include "simcam/CameraSettings.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace simcam {

// Encodes the test pattern, picture after picture, into Annex B access units
// with libx264 or libx265: no B-frames, a key frame (IDR, with parameter
// sets) every keyFrameInterval pictures, constant quality or a held bit
// rate, one thread, so that equal settings give equal bytes. The pattern is
// drawn in 8-bit 4:2:0 and converted by libswscale to another pixel format.
class VideoEncoder {
public:
    VideoEncoder();
    ~VideoEncoder();

    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // False, with the reason in *error, when the encoder cannot be opened.
    bool open(const CameraSettings& settings, std::string* error);
    // The next access unit; false when encoding fails.
    bool next(EncodedUnit* unit);

private:
    void close();

    AVCodecContext* m_context;
    AVFrame* m_frame;    // the drawn picture, YUV 4:2:0
    AVFrame* m_encoded;  // the picture in the settings' pixel format, when that differs
    SwsContext* m_converter;
    AVPacket* m_packet;
    int m_frameRate;
    int m_shownNumber;
    uint32_t m_nextPicture;
};

}  // namespace simcam
