#include "TavoPlayerCore/Decoder/CAVCodecDecoder.h"

#include <cstdio>

CAVCodecDecoder::CAVCodecDecoder()
    : m_codec(nullptr),
      m_context(nullptr),
      m_frame(nullptr),
      m_extraFrame(nullptr),
      m_packet(nullptr),
      m_skipLoopFilter(false) {}

CAVCodecDecoder::~CAVCodecDecoder() {
    close();
}

bool CAVCodecDecoder::open(const Setup& setup) {
    if (m_context) {
        return true;
    }
    m_codec = avcodec_find_decoder(setup.codecId);
    if (!m_codec) {
        std::fprintf(stderr, "codec not found\n");
        return false;
    }
    m_context = avcodec_alloc_context3(m_codec);
    if (!m_context) {
        m_codec = nullptr;
        return false;
    }
    // One thread: frame threading would hold every picture back by a frame
    // per thread, and a camera stream must show each picture on the call
    // that delivered it. Players of several cameras run in parallel instead.
    m_context->thread_count = 1;
    m_context->max_pixels = kMaxPixels;
    m_context->skip_loop_filter = m_skipLoopFilter ? AVDISCARD_ALL : AVDISCARD_DEFAULT;
    if (setup.headerless) {
        m_context->sample_rate = setup.sampleRate;
        m_context->sample_fmt = AV_SAMPLE_FMT_S16;
        av_channel_layout_uninit(&m_context->ch_layout);
        av_channel_layout_default(&m_context->ch_layout, setup.channels);
    }
    const bool formatKnown = !setup.headerless || (setup.sampleRate > 0 && setup.channels > 0);
    if (!formatKnown || avcodec_open2(m_context, m_codec, nullptr) < 0) {
        if (setup.reportOpenFailure) {
            std::fprintf(stderr, "could not open codec\n");
        }
        avcodec_free_context(&m_context);
        m_codec = nullptr;
        return false;
    }
    m_frame = av_frame_alloc();
    m_extraFrame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_frame || !m_extraFrame || !m_packet) {
        close();
        return false;
    }
    return true;
}

void CAVCodecDecoder::close() {
    av_frame_free(&m_frame);
    av_frame_free(&m_extraFrame);
    av_packet_free(&m_packet);
    avcodec_free_context(&m_context);
    m_codec = nullptr;
}

void CAVCodecDecoder::setSkipLoopFilter(bool skip) {
    m_skipLoopFilter = skip;
    // libavcodec reads the setting at every slice.
    if (m_context) {
        m_context->skip_loop_filter = skip ? AVDISCARD_ALL : AVDISCARD_DEFAULT;
    }
}

bool CAVCodecDecoder::decode(const uint8_t* data, int size) {
    // An empty packet would tell libavcodec that the stream has ended, after
    // which it decodes nothing more: it is no sample at all.
    if (!m_context || !data || size <= 0) {
        return false;
    }
    // libavcodec's bit readers may read up to AV_INPUT_BUFFER_PADDING_SIZE
    // bytes past a packet's end, so the host's bytes are copied into a
    // buffer with zeroed padding. The packet borrows it (no buffer
    // reference), so libavcodec copies what it keeps.
    m_padded.assign(data, data + size);
    m_padded.resize(static_cast<size_t>(size) + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    m_packet->data = m_padded.data();
    m_packet->size = size;
    // A damaged sample shows as no frame; the next one is tried afresh.
    avcodec_send_packet(m_context, m_packet);
    av_packet_unref(m_packet);
    // avcodec_receive_frame empties the frame it is given even when it has
    // nothing to hand out, so the result goes to the scratch frame first.
    const bool gotFrame = avcodec_receive_frame(m_context, m_extraFrame) == 0;
    if (gotFrame) {
        av_frame_unref(m_frame);
        av_frame_move_ref(m_frame, m_extraFrame);
    }
    int status = 0;
    while (status != AVERROR(EAGAIN) && status != AVERROR_EOF) {
        status = avcodec_receive_frame(m_context, m_extraFrame);
        av_frame_unref(m_extraFrame);
    }
    return gotFrame;
}
