#include "TavoPlayerCore/Decoder/CCTavoAudioConvert.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include "tavoplayer/ITavoMediaPlayer.h"

namespace {

bool hasPlanes(const AVFrame* frame, int channels) {
    if (!frame->extended_data) {
        return false;
    }
    for (int channel = 0; channel < channels; ++channel) {
        if (!frame->extended_data[channel]) {
            return false;
        }
    }
    return true;
}

}  // namespace

CCTavoAudioConvert::CCTavoAudioConvert()
    : m_resampler(nullptr),
      m_buffer(new uint8_t[kBufferSize]()),
      m_resamplerReady(false),
      m_inFormat(AV_SAMPLE_FMT_NONE),
      m_inRate(0),
      m_inChannels(0) {}

CCTavoAudioConvert::~CCTavoAudioConvert() {
    delete[] m_buffer;
    swr_free(&m_resampler);
}

int32_t CCTavoAudioConvert::init(AVFrame* frame, int outFormat) {
    if (!frame) {
        return PLAYER_E_INVALIDARG;
    }
    swr_free(&m_resampler);
    m_resampler = swr_alloc();
    // Same layout and rate on both sides: only the sample format changes.
    const int setup = swr_alloc_set_opts2(
        &m_resampler, &frame->ch_layout, static_cast<AVSampleFormat>(outFormat), frame->sample_rate,
        &frame->ch_layout, static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0,
        nullptr);
    m_resamplerReady = setup >= 0 && m_resampler && swr_init(m_resampler) >= 0;
    m_inFormat = frame->format;
    m_inRate = frame->sample_rate;
    m_inChannels = frame->ch_layout.nb_channels;
    return 0;
}

int32_t CCTavoAudioConvert::convert(AVFrame* frame, uint8_t** outData, uint32_t* outSize) {
    if (!frame || !outData || !outSize) {
        return PLAYER_E_INVALIDARG;
    }
    const int channels = frame->ch_layout.nb_channels;
    switch (frame->format) {
        case AV_SAMPLE_FMT_S16: {
            const int size = av_samples_get_buffer_size(&frame->linesize[0], channels,
                                                        frame->nb_samples, AV_SAMPLE_FMT_S16, 1);
            if (size < 0 || !frame->data[0]) {
                return PLAYER_E_FAIL;
            }
            *outData = frame->data[0];
            *outSize = static_cast<uint32_t>(size);
            return 0;
        }
        case AV_SAMPLE_FMT_FLTP: {
            if (!m_resampler) {
                return PLAYER_E_INVALIDARG;
            }
            const int size = av_samples_get_buffer_size(nullptr, channels, frame->nb_samples,
                                                        AV_SAMPLE_FMT_S16, 1);
            if (size < 0 || size >= kBufferSize) {
                return PLAYER_E_FAIL;
            }
            // The resampler reads as many planes as the first frame had.
            if (!m_resamplerReady || frame->format != m_inFormat ||
                frame->sample_rate != m_inRate || channels != m_inChannels ||
                !hasPlanes(frame, channels)) {
                return PLAYER_E_FAIL;
            }
            uint8_t* out[1] = {m_buffer};
            const int converted =
                swr_convert(m_resampler, out, frame->nb_samples,
                            const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
            if (converted != frame->nb_samples) {
                return PLAYER_E_FAIL;
            }
            *outData = m_buffer;
            *outSize = static_cast<uint32_t>(size);
            return 0;
        }
        default:
            return PLAYER_E_INVALIDARG;
    }
}
