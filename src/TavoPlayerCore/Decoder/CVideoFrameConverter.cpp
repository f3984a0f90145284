#include "TavoPlayerCore/Decoder/CVideoFrameConverter.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <memory>

#include "Common/Log.h"

CVideoFrameConverter::CVideoFrameConverter()
    : m_context(nullptr),
      m_planes{nullptr, nullptr, nullptr, nullptr},
      m_strides{0, 0, 0, 0},
      m_width(0),
      m_height(0),
      m_refusedFormat(AV_PIX_FMT_NONE) {}

CVideoFrameConverter::~CVideoFrameConverter() {
    sws_freeContext(m_context);
    av_freep(&m_planes[0]);
}

bool CVideoFrameConverter::convert(const AVFrame* frame, VideoPicture* picture) {
    if (!frame || !frame->data[0] || frame->width <= 0 || frame->height <= 0) {
        return false;
    }
    const AVPixelFormat format = static_cast<AVPixelFormat>(frame->format);
    if (format == AV_PIX_FMT_YUV420P && frame->data[1] && frame->data[2]) {
        // A new reference to the decoder's buffers, not a copy: whoever
        // keeps the picture keeps them (a decoder never writes a frame it
        // has handed out).
        AVFrame* reference = frame->buf[0] ? av_frame_clone(frame) : nullptr;
        for (int i = 0; i < 3; ++i) {
            picture->data[i] = frame->data[i];
            picture->linesize[i] = frame->linesize[i];
        }
        picture->keeper.reset();
        if (reference) {
            picture->keeper =
                std::shared_ptr<AVFrame>(reference, [](AVFrame* kept) { av_frame_free(&kept); });
        }
        return true;
    }
    if (!sws_isSupportedInput(format)) {
        refuse(format);
        return false;
    }
    m_context = sws_getCachedContext(m_context, frame->width, frame->height, format, frame->width,
                                     frame->height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr,
                                     nullptr, nullptr);
    if (!m_context || !fitPlanes(frame->width, frame->height)) {
        refuse(format);
        return false;
    }
    sws_scale(m_context, frame->data, frame->linesize, 0, frame->height, m_planes, m_strides);
    for (int i = 0; i < 3; ++i) {
        picture->data[i] = m_planes[i];
        picture->linesize[i] = m_strides[i];
    }
    picture->keeper.reset();
    return true;
}

bool CVideoFrameConverter::fitPlanes(int width, int height) {
    if (m_planes[0] && width == m_width && height == m_height) {
        return true;
    }
    av_freep(&m_planes[0]);
    m_width = 0;
    m_height = 0;
    if (av_image_alloc(m_planes, m_strides, width, height, AV_PIX_FMT_YUV420P, 32) < 0) {
        return false;
    }
    m_width = width;
    m_height = height;
    return true;
}

void CVideoFrameConverter::refuse(int format) {
    if (format != m_refusedFormat) {
        const char* name = av_get_pix_fmt_name(static_cast<AVPixelFormat>(format));
        RIVO_LOG("video picture format %s (%d) cannot be shown", name ? name : "unknown", format);
        m_refusedFormat = format;
    }
}
