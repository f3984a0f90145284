#include "simcam/VideoEncoder.h"

#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "simcam/TestPattern.h"

namespace simcam {

namespace {

AVPixelFormat libavFormat(PixelFormat format) {
    switch (format) {
        case PixelFormat::Gray:
            return AV_PIX_FMT_GRAY8;
        case PixelFormat::YUV420TenBit:
            return AV_PIX_FMT_YUV420P10LE;
        case PixelFormat::YUV422:
            return AV_PIX_FMT_YUV422P;
        case PixelFormat::YUV444:
            return AV_PIX_FMT_YUV444P;
        case PixelFormat::YUV420:
            break;
    }
    return AV_PIX_FMT_YUV420P;
}

}  // namespace

VideoEncoder::VideoEncoder()
    : m_context(nullptr),
      m_frame(nullptr),
      m_encoded(nullptr),
      m_converter(nullptr),
      m_packet(nullptr),
      m_frameRate(0),
      m_shownNumber(-1),
      m_nextPicture(0) {}

VideoEncoder::~VideoEncoder() {
    close();
}

void VideoEncoder::close() {
    av_frame_free(&m_frame);
    av_frame_free(&m_encoded);
    sws_freeContext(m_converter);
    m_converter = nullptr;
    av_packet_free(&m_packet);
    avcodec_free_context(&m_context);
}

bool VideoEncoder::open(const CameraSettings& settings, std::string* error) {
    close();
    const bool h265 = settings.videoCodec == VideoCodec::H265;
    const char* name = h265 ? "libx265" : "libx264";
    if (settings.width <= 0 || settings.height <= 0 || settings.width % 2 || settings.height % 2 ||
        settings.frameRate <= 0 || settings.keyFrameInterval <= 0 || settings.bitRate < 0) {
        *error = "picture size must be even and positive, rates and key frame interval positive";
        return false;
    }
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    m_context = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!m_context) {
        *error = std::string(name) + " is not available";
        return false;
    }
    m_context->width = settings.width;
    m_context->height = settings.height;
    const AVPixelFormat format = libavFormat(settings.pixelFormat);
    m_context->pix_fmt = format;
    m_context->time_base = AVRational{1, settings.frameRate};
    m_context->framerate = AVRational{settings.frameRate, 1};
    m_context->gop_size = settings.keyFrameInterval;
    m_context->keyint_min = settings.keyFrameInterval;
    m_context->max_b_frames = 0;
    m_context->thread_count = 1;
    // Without a global header both encoders repeat the parameter sets in
    // front of every key frame.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "tune", "zerolatency", 0);
    if (settings.bitRate > 0) {
        m_context->bit_rate = settings.bitRate;
        m_context->rc_max_rate = settings.bitRate;
        m_context->rc_buffer_size = settings.bitRate;
    } else {
        av_dict_set_int(&options, "crf", settings.quality, 0);
    }
    const std::string keyint = "keyint=" + std::to_string(settings.keyFrameInterval) +
                               ":min-keyint=" + std::to_string(settings.keyFrameInterval) +
                               ":scenecut=0";
    if (h265) {
        av_dict_set(&options, "preset", "ultrafast", 0);
        av_dict_set(
            &options, "x265-params",
            (keyint + ":bframes=0:open-gop=0:pools=none:frame-threads=1:log-level=error").c_str(),
            0);
    } else {
        av_dict_set(&options, "preset", "veryfast", 0);
        av_dict_set(&options, "x264-params", (keyint + ":bframes=0:log=0").c_str(), 0);
    }
    const int status = avcodec_open2(m_context, codec, &options);
    av_dict_free(&options);
    if (status < 0) {
        *error = std::string("could not open ") + name;
        close();
        return false;
    }
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_frame || !m_packet) {
        *error = "out of memory";
        close();
        return false;
    }
    m_frame->format = AV_PIX_FMT_YUV420P;
    m_frame->width = settings.width;
    m_frame->height = settings.height;
    if (av_frame_get_buffer(m_frame, 0) < 0) {
        *error = "out of memory";
        close();
        return false;
    }
    if (format != AV_PIX_FMT_YUV420P) {
        m_encoded = av_frame_alloc();
        m_converter =
            sws_getContext(settings.width, settings.height, AV_PIX_FMT_YUV420P, settings.width,
                           settings.height, format, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!m_encoded || !m_converter) {
            *error = "cannot convert to the pixel format";
            close();
            return false;
        }
        m_encoded->format = format;
        m_encoded->width = settings.width;
        m_encoded->height = settings.height;
        if (av_frame_get_buffer(m_encoded, 0) < 0) {
            *error = "out of memory";
            close();
            return false;
        }
    }
    m_frameRate = settings.frameRate;
    m_shownNumber = settings.shownNumber;
    m_nextPicture = 0;
    return true;
}

bool VideoEncoder::next(EncodedUnit* unit) {
    if (!m_context) {
        return false;
    }
    for (;;) {
        const int status = avcodec_receive_packet(m_context, m_packet);
        if (status == 0) {
            const uint32_t picture = static_cast<uint32_t>(m_packet->pts);
            unit->data.assign(m_packet->data, m_packet->data + m_packet->size);
            unit->timeMs = static_cast<uint32_t>(m_packet->pts * 1000 / m_frameRate);
            unit->keyFrame = (m_packet->flags & AV_PKT_FLAG_KEY) != 0;
            unit->sequence = picture;
            av_packet_unref(m_packet);
            return true;
        }
        if (status != AVERROR(EAGAIN) || av_frame_make_writable(m_frame) < 0) {
            return false;
        }
        // The picture that starts a whole second flashes.
        const bool flash = m_nextPicture % static_cast<uint32_t>(m_frameRate) == 0;
        const int strides[3] = {m_frame->linesize[0], m_frame->linesize[1], m_frame->linesize[2]};
        const uint32_t number =
            m_shownNumber >= 0 ? static_cast<uint32_t>(m_shownNumber) : m_nextPicture;
        TestPattern::draw(number, flash, m_frame->data, strides, m_frame->width, m_frame->height);
        AVFrame* sent = m_frame;
        if (m_encoded) {
            if (av_frame_make_writable(m_encoded) < 0) {
                return false;
            }
            sws_scale(m_converter, m_frame->data, m_frame->linesize, 0, m_frame->height,
                      m_encoded->data, m_encoded->linesize);
            sent = m_encoded;
        }
        sent->pts = m_nextPicture++;
        if (avcodec_send_frame(m_context, sent) < 0) {
            return false;
        }
    }
}

}  // namespace simcam
