#include "support/ReferenceDecoder.h"

namespace {

uint64_t fnv1a(uint64_t hash, const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        hash = (hash ^ bytes[i]) * 1099511628211ull;
    }
    return hash;
}

constexpr uint64_t kFnvOffset = 14695981039346656037ull;

}  // namespace

std::vector<uint64_t> planeChecksums(const AVFrame* frame) {
    std::vector<uint64_t> sums;
    if (frame->width > 0) {
        for (int plane = 0; plane < 3; ++plane) {
            const int width = plane == 0 ? frame->width : (frame->width + 1) / 2;
            const int height = plane == 0 ? frame->height : (frame->height + 1) / 2;
            uint64_t hash = kFnvOffset;
            for (int y = 0; y < height; ++y) {
                hash =
                    fnv1a(hash, frame->data[plane] + static_cast<long>(y) * frame->linesize[plane],
                          static_cast<size_t>(width));
            }
            sums.push_back(hash);
        }
        return sums;
    }
    const AVSampleFormat format = static_cast<AVSampleFormat>(frame->format);
    const int channels = frame->ch_layout.nb_channels;
    const bool planar = av_sample_fmt_is_planar(format);
    const size_t planeBytes = static_cast<size_t>(frame->nb_samples) *
                              av_get_bytes_per_sample(format) * (planar ? 1 : channels);
    for (int plane = 0; plane < (planar ? channels : 1); ++plane) {
        sums.push_back(fnv1a(kFnvOffset, frame->extended_data[plane], planeBytes));
    }
    return sums;
}

ReferenceDecoder::ReferenceDecoder(AVCodecID codecId, int sampleRate, int channels)
    : m_context(nullptr), m_frame(av_frame_alloc()), m_packet(av_packet_alloc()) {
    const AVCodec* codec = avcodec_find_decoder(codecId);
    m_context = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!m_context) {
        return;
    }
    if (channels > 0) {
        m_context->sample_rate = sampleRate;
        av_channel_layout_default(&m_context->ch_layout, channels);
    }
    if (avcodec_open2(m_context, codec, nullptr) < 0) {
        avcodec_free_context(&m_context);
    }
}

ReferenceDecoder::~ReferenceDecoder() {
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    avcodec_free_context(&m_context);
}

void ReferenceDecoder::decode(const uint8_t* data, int size) {
    m_packet->data = const_cast<uint8_t*>(data);
    m_packet->size = size;
    avcodec_send_packet(m_context, m_packet);
    av_packet_unref(m_packet);
    receiveAll();
}

void ReferenceDecoder::drain() {
    avcodec_send_packet(m_context, nullptr);
    receiveAll();
}

void ReferenceDecoder::receiveAll() {
    while (avcodec_receive_frame(m_context, m_frame) == 0) {
        m_frames.push_back(planeChecksums(m_frame));
        av_frame_unref(m_frame);
    }
}
