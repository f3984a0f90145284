#include "TavoPlayerCore/Decoder/CCTavoAudioConvert.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include "tavoplayer/ITavoMediaPlayer.h"

namespace {

bool hasPlanes(const AVFrame* frame) {
    const int planes = av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame->format))
                           ? frame->ch_layout.nb_channels
                           : 1;
    if (!frame->extended_data) {
        return false;
    }
    for (int plane = 0; plane < planes; ++plane) {
        if (!frame->extended_data[plane]) {
            return false;
        }
    }
    return true;
}

}  // namespace

CCTavoAudioConvert::CCTavoAudioConvert()
    : m_resampler(nullptr),
      m_outFormat(AV_SAMPLE_FMT_NONE),
      m_inFormat(AV_SAMPLE_FMT_NONE),
      m_inRate(0),
      m_inMask(0),
      m_inChannels(0),
      m_resampling(false),
      m_speedUp(0),
      m_owedSamples(0) {}

CCTavoAudioConvert::~CCTavoAudioConvert() {
    swr_free(&m_resampler);
}

int CCTavoAudioConvert::outputChannels(const AVFrame* frame) {
    const int channels = frame ? frame->ch_layout.nb_channels : 0;
    return channels > 2 ? 2 : (channels < 0 ? 0 : channels);
}

bool CCTavoAudioConvert::matches(const AVFrame* frame) const {
    return m_resampler && frame->format == m_inFormat && frame->sample_rate == m_inRate &&
           frame->ch_layout.nb_channels == m_inChannels &&
           (frame->ch_layout.order != AV_CHANNEL_ORDER_NATIVE ||
            frame->ch_layout.u.mask == m_inMask);
}

int32_t CCTavoAudioConvert::init(AVFrame* frame, int outFormat) {
    if (!frame) {
        return PLAYER_E_INVALIDARG;
    }
    swr_free(&m_resampler);
    m_inFormat = AV_SAMPLE_FMT_NONE;
    m_resampling = false;
    m_owedSamples = 0;
    AVChannelLayout in;
    AVChannelLayout out;
    // A layout the decoder left unspecified is taken as the usual one for
    // its channel count, so that a mix-down matrix can be built.
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_NATIVE) {
        av_channel_layout_copy(&in, &frame->ch_layout);
    } else {
        av_channel_layout_default(&in, frame->ch_layout.nb_channels);
    }
    av_channel_layout_default(&out, outputChannels(frame));
    const int setup = swr_alloc_set_opts2(
        &m_resampler, &out, static_cast<AVSampleFormat>(outFormat), frame->sample_rate, &in,
        static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    if (setup < 0 || !m_resampler || swr_init(m_resampler) < 0) {
        swr_free(&m_resampler);
        return PLAYER_E_FAIL;
    }
    m_outFormat = outFormat;
    m_inFormat = frame->format;
    m_inRate = frame->sample_rate;
    m_inChannels = frame->ch_layout.nb_channels;
    m_inMask = frame->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? frame->ch_layout.u.mask : 0;
    return 0;
}

void CCTavoAudioConvert::setSpeedUp(double fraction) {
    m_speedUp = fraction > 0 ? fraction : 0;
}

int32_t CCTavoAudioConvert::convert(AVFrame* frame, uint8_t** outData, uint32_t* outSize) {
    if (!frame || !outData || !outSize || frame->nb_samples <= 0 || frame->sample_rate <= 0 ||
        outputChannels(frame) == 0 || !hasPlanes(frame)) {
        return PLAYER_E_INVALIDARG;
    }
    const int channels = outputChannels(frame);
    if (frame->format == AV_SAMPLE_FMT_S16 && channels == frame->ch_layout.nb_channels &&
        !m_resampling && m_speedUp == 0) {
        const int size = av_samples_get_buffer_size(&frame->linesize[0], channels,
                                                    frame->nb_samples, AV_SAMPLE_FMT_S16, 1);
        if (size < 0) {
            return PLAYER_E_FAIL;
        }
        *outData = frame->data[0];
        *outSize = static_cast<uint32_t>(size);
        return 0;
    }
    if (!matches(frame) || m_outFormat != AV_SAMPLE_FMT_S16) {
        const int32_t setup = init(frame, AV_SAMPLE_FMT_S16);
        if (setup != 0) {
            return setup;
        }
    }
    if (m_resampling || m_speedUp > 0) {
        // The samples to take off this frame; swr_set_compensation spreads
        // them over the frame's output and, given none, resamples at ratio 1.
        m_owedSamples += frame->nb_samples * m_speedUp;
        const int fewer = static_cast<int>(m_owedSamples);
        m_owedSamples -= fewer;
        if (swr_set_compensation(m_resampler, -fewer, fewer > 0 ? frame->nb_samples - fewer : 0) <
            0) {
            return PLAYER_E_FAIL;
        }
        m_resampling = true;
    }
    const int capacity = swr_get_out_samples(m_resampler, frame->nb_samples);
    if (capacity <= 0) {
        return PLAYER_E_FAIL;
    }
    const int bytes = av_samples_get_buffer_size(nullptr, channels, capacity, AV_SAMPLE_FMT_S16, 1);
    if (bytes < 0) {
        return PLAYER_E_FAIL;
    }
    if (m_buffer.size() < static_cast<size_t>(bytes)) {
        m_buffer.resize(static_cast<size_t>(bytes));
    }
    uint8_t* out[1] = {m_buffer.data()};
    const int converted =
        swr_convert(m_resampler, out, capacity, const_cast<const uint8_t**>(frame->extended_data),
                    frame->nb_samples);
    // Without resampling every sample comes out at once.
    if (converted < 0 || (!m_resampling && converted != frame->nb_samples)) {
        return PLAYER_E_FAIL;
    }
    *outData = m_buffer.data();
    *outSize = static_cast<uint32_t>(converted * channels * 2);
    return 0;
}
