#include "simcam/AudioEncoder.h"

#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace simcam {

namespace {

const char* encoderName(AudioCodec codec) {
    switch (codec) {
        case AudioCodec::AAC:
            return "aac";
        case AudioCodec::MP3:
            return "libmp3lame";
        case AudioCodec::G711ALaw:
            return "pcm_alaw";
        case AudioCodec::G711MuLaw:
            return "pcm_mulaw";
        case AudioCodec::None:
            break;
    }
    return nullptr;
}

// Index of the rate in the MPEG-4 audio sampling frequency table; -1 when
// ADTS cannot express it.
int adtsRateIndex(int sampleRate) {
    static const int kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                 22050, 16000, 12000, 11025, 8000,  7350};
    for (int i = 0; i < static_cast<int>(sizeof(kRates) / sizeof(kRates[0])); ++i) {
        if (kRates[i] == sampleRate) {
            return i;
        }
    }
    return -1;
}

bool supportsFormat(const AVCodec* codec, AVSampleFormat format) {
    for (const AVSampleFormat* f = codec->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f) {
        if (*f == format) {
            return true;
        }
    }
    return false;
}

}  // namespace

AudioEncoder::AudioEncoder()
    : m_context(nullptr),
      m_frame(nullptr),
      m_packet(nullptr),
      m_adts(false),
      m_nextSample(0),
      m_nextSequence(0) {}

AudioEncoder::~AudioEncoder() {
    close();
}

void AudioEncoder::close() {
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    avcodec_free_context(&m_context);
}

bool AudioEncoder::open(const CameraSettings& settings, std::string* error) {
    close();
    const char* name = encoderName(settings.audioCodec);
    const AVCodec* codec = name ? avcodec_find_encoder_by_name(name) : nullptr;
    if (!codec) {
        *error = std::string(name ? name : "no audio codec") + " is not available";
        return false;
    }
    const bool g711 = codec->id == AV_CODEC_ID_PCM_ALAW || codec->id == AV_CODEC_ID_PCM_MULAW;
    const bool fixedG711 = g711 && !settings.g711AtAudioRate;
    const int sampleRate = fixedG711 ? 8000 : settings.audioSampleRate;
    const int channels = fixedG711 ? 1 : settings.audioChannels;
    m_adts = codec->id == AV_CODEC_ID_AAC;
    if (sampleRate <= 0 || channels <= 0 || channels > 2 ||
        (m_adts && adtsRateIndex(sampleRate) < 0) || settings.beepMs < 0) {
        *error = "unsupported audio rate or channel count";
        return false;
    }
    const AVSampleFormat format =
        supportsFormat(codec, AV_SAMPLE_FMT_FLTP) ? AV_SAMPLE_FMT_FLTP : AV_SAMPLE_FMT_S16;
    m_context = avcodec_alloc_context3(codec);
    if (!m_context) {
        *error = "out of memory";
        return false;
    }
    m_context->sample_rate = sampleRate;
    m_context->sample_fmt = format;
    av_channel_layout_default(&m_context->ch_layout, channels);
    m_context->time_base = AVRational{1, sampleRate};
    m_context->thread_count = 1;
    if (!g711) {
        m_context->bit_rate = 32000 * channels;
    }
    if (avcodec_open2(m_context, codec, nullptr) < 0) {
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
    m_frame->format = format;
    m_frame->sample_rate = sampleRate;
    m_frame->nb_samples = m_context->frame_size > 0 ? m_context->frame_size
                          : fixedG711               ? kG711FrameSamples
                                                    : sampleRate / 50;
    av_channel_layout_copy(&m_frame->ch_layout, &m_context->ch_layout);
    if (av_frame_get_buffer(m_frame, 0) < 0) {
        *error = "out of memory";
        close();
        return false;
    }
    m_tone.reset(new ToneSource(sampleRate, settings.beepMs));
    m_nextSample = 0;
    m_nextSequence = 0;
    return true;
}

bool AudioEncoder::next(EncodedUnit* unit) {
    if (!m_context) {
        return false;
    }
    for (;;) {
        const int status = avcodec_receive_packet(m_context, m_packet);
        if (status == 0) {
            if (m_packet->pts < 0) {
                av_packet_unref(m_packet);
                continue;
            }
            unit->data.assign(m_packet->data, m_packet->data + m_packet->size);
            unit->timeMs = static_cast<uint32_t>(m_packet->pts * 1000 / m_context->sample_rate);
            unit->keyFrame = true;
            unit->sequence = m_nextSequence++;
            av_packet_unref(m_packet);
            if (m_adts) {
                addAdtsHeader(unit);
            }
            return true;
        }
        if (status != AVERROR(EAGAIN) || av_frame_make_writable(m_frame) < 0) {
            return false;
        }
        fillFrame();
        m_frame->pts = m_nextSample;
        m_nextSample += m_frame->nb_samples;
        if (avcodec_send_frame(m_context, m_frame) < 0) {
            return false;
        }
    }
}

void AudioEncoder::fillFrame() {
    const int channels = m_frame->ch_layout.nb_channels;
    for (int i = 0; i < m_frame->nb_samples; ++i) {
        const float value = m_tone->sampleAt(m_nextSample + i);
        if (m_frame->format == AV_SAMPLE_FMT_FLTP) {
            for (int channel = 0; channel < channels; ++channel) {
                reinterpret_cast<float*>(m_frame->extended_data[channel])[i] = value;
            }
        } else {
            const int16_t sample = static_cast<int16_t>(std::lround(value * 32767.0f));
            for (int channel = 0; channel < channels; ++channel) {
                reinterpret_cast<int16_t*>(m_frame->data[0])[i * channels + channel] = sample;
            }
        }
    }
}

void AudioEncoder::addAdtsHeader(EncodedUnit* unit) const {
    // MPEG-4 AAC LC, no CRC; the frame length counts the 7 header bytes.
    const unsigned profile = 1;
    const unsigned rateIndex = static_cast<unsigned>(adtsRateIndex(m_context->sample_rate));
    const unsigned channels = static_cast<unsigned>(m_context->ch_layout.nb_channels);
    const unsigned length = static_cast<unsigned>(unit->data.size()) + 7;
    const uint8_t header[7] = {
        0xFF,
        0xF1,
        static_cast<uint8_t>((profile << 6) | (rateIndex << 2) | (channels >> 2)),
        static_cast<uint8_t>(((channels & 3) << 6) | (length >> 11)),
        static_cast<uint8_t>((length >> 3) & 0xFF),
        static_cast<uint8_t>(((length & 7) << 5) | 0x1F),
        0xFC,
    };
    unit->data.insert(unit->data.begin(), header, header + 7);
}

}  // namespace simcam
