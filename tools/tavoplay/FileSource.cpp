#include "FileSource.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

namespace {

constexpr int kAdtsHeaderSize = 7;
constexpr int kAdtsMaxFrameSize = 8191;
constexpr int kAdtsRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                              22050, 16000, 12000, 11025, 8000,  7350};
constexpr uint32_t kG711FrameMs = 20;
// Used for a video packet without any time stamp: one picture at 25 a second later.
constexpr uint32_t kDefaultPictureMs = 40;

std::string libavError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof(text));
    return text;
}

std::string codecName(AVCodecID id) {
    return avcodec_get_name(id);
}

// The ADTS index of a sample rate, -1 when ADTS cannot carry it.
int adtsRateIndex(int rate) {
    for (int i = 0; i < static_cast<int>(sizeof(kAdtsRates) / sizeof(kAdtsRates[0])); ++i) {
        if (kAdtsRates[i] == rate) {
            return i;
        }
    }
    return -1;
}

bool isAdtsFrame(const uint8_t* data, int size) {
    return size >= kAdtsHeaderSize && data[0] == 0xFF && (data[1] & 0xF6) == 0xF0;
}

// AVCC and HVCC configuration records start with version 1; Annex B
// parameter sets start with a start code.
bool hasLengthPrefixedConfig(const AVCodecParameters* parameters) {
    return parameters->extradata_size > 0 && parameters->extradata[0] == 1;
}

}  // namespace

FileSource::FileSource()
    : m_format(nullptr),
      m_filter(nullptr),
      m_packet(nullptr),
      m_interrupt(nullptr),
      m_videoIndex(-1),
      m_audioIndex(-1),
      m_startUs(0),
      m_videoInfo{STREAM_VIDEO, CODEC_NONE, 0, 0},
      m_audioInfo{STREAM_AUDIO, CODEC_NONE, 0, 0},
      m_adtsProfile(0),
      m_adtsRate(-1),
      m_adtsChannels(0),
      m_videoSequence(0),
      m_audioSequence(0),
      m_lastVideoMs(0),
      m_ended(false) {}

FileSource::~FileSource() {
    close();
}

bool FileSource::isNetworkUrl(const std::string& path) {
    const size_t scheme = path.find("://");
    return scheme != std::string::npos && scheme > 0 && path.compare(0, scheme, "file") != 0;
}

int FileSource::interruptRequested(void* source) {
    const std::atomic<bool>* interrupt = static_cast<FileSource*>(source)->m_interrupt;
    return interrupt && interrupt->load() ? 1 : 0;
}

bool FileSource::open(const std::string& path, const Network* network) {
    AVDictionary* settings = nullptr;
    if (network) {
        m_format = avformat_alloc_context();
        if (!m_format) {
            m_error = "out of memory";
            return false;
        }
        m_interrupt = network->interrupt;
        m_format->interrupt_callback.callback = interruptRequested;
        m_format->interrupt_callback.opaque = this;
        const std::string timeoutUs = std::to_string(kNetworkTimeoutMs * 1000);
        // "timeout" is the socket time-out of rtsp, udp and tcp; http has
        // its own; both are in microseconds.
        av_dict_set(&settings, "timeout", timeoutUs.c_str(), 0);
        av_dict_set(&settings, "rw_timeout", timeoutUs.c_str(), 0);
        if (!network->rtspTransport.empty()) {
            av_dict_set(&settings, "rtsp_transport", network->rtspTransport.c_str(), 0);
        }
    }
    int status = avformat_open_input(&m_format, path.c_str(), nullptr, &settings);
    av_dict_free(&settings);
    if (status < 0) {
        m_error = "cannot open " + path + ": " + libavError(status);
        return false;
    }
    status = avformat_find_stream_info(m_format, nullptr);
    if (status < 0) {
        m_error = "cannot read the streams of " + path + ": " + libavError(status);
        close();
        return false;
    }
    m_packet = av_packet_alloc();
    if (!m_packet) {
        m_error = "out of memory";
        close();
        return false;
    }
    m_startUs = m_format->start_time != AV_NOPTS_VALUE ? m_format->start_time : 0;
    chooseVideo();
    if (!m_error.empty()) {
        close();
        return false;
    }
    chooseAudio();
    if (m_videoIndex < 0 && m_audioIndex < 0) {
        m_error = path + " holds nothing the player plays";
        for (const std::string& note : m_notes) {
            m_error += "; " + note;
        }
        close();
        return false;
    }
    m_description = path + " (" + m_format->iformat->name + "):";
    if (m_videoIndex >= 0) {
        m_description += std::string(" ") +
                         (m_videoInfo.codecType == VIDEO_H265 ? "H.265" : "H.264") + " " +
                         std::to_string(m_videoInfo.rateOrWidth) + "x" +
                         std::to_string(m_videoInfo.formatOrHeight);
    }
    if (m_audioIndex >= 0) {
        const AVCodecParameters* audio = m_format->streams[m_audioIndex]->codecpar;
        m_description += std::string(m_videoIndex >= 0 ? "," : "") + " " +
                         codecName(audio->codec_id) + " " + std::to_string(audio->sample_rate) +
                         " Hz " + std::to_string(audio->ch_layout.nb_channels) + " ch";
    }
    return true;
}

void FileSource::chooseVideo() {
    const int index = av_find_best_stream(m_format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) {
        return;
    }
    const AVStream* stream = m_format->streams[index];
    const AVCodecParameters* parameters = stream->codecpar;
    const char* filterName = nullptr;
    if (parameters->codec_id == AV_CODEC_ID_H264) {
        m_videoInfo.codecType = VIDEO_H264;
        filterName = "h264_mp4toannexb";
    } else if (parameters->codec_id == AV_CODEC_ID_HEVC) {
        m_videoInfo.codecType = VIDEO_H265;
        filterName = "hevc_mp4toannexb";
    } else {
        m_notes.push_back("video " + codecName(parameters->codec_id) +
                          " left out: the player plays H.264 and H.265");
        return;
    }
    if (hasLengthPrefixedConfig(parameters)) {
        const AVBitStreamFilter* filter = av_bsf_get_by_name(filterName);
        int status = filter ? av_bsf_alloc(filter, &m_filter) : AVERROR_BSF_NOT_FOUND;
        if (status >= 0) {
            status = avcodec_parameters_copy(m_filter->par_in, parameters);
        }
        if (status >= 0) {
            m_filter->time_base_in = stream->time_base;
            status = av_bsf_init(m_filter);
        }
        if (status < 0) {
            m_error = std::string("cannot convert the video to Annex B (") + filterName +
                      "): " + libavError(status);
            m_videoInfo.codecType = CODEC_NONE;
            return;
        }
    }
    m_videoIndex = index;
    m_videoInfo.rateOrWidth = static_cast<uint32_t>(parameters->width);
    m_videoInfo.formatOrHeight = static_cast<uint32_t>(parameters->height);
}

void FileSource::chooseAudio() {
    const int index = av_find_best_stream(m_format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0) {
        return;
    }
    const AVCodecParameters* parameters = m_format->streams[index]->codecpar;
    const int rate = parameters->sample_rate;
    const int channels = parameters->ch_layout.nb_channels;
    const std::string what = "audio " + codecName(parameters->codec_id) + " " +
                             std::to_string(rate) + " Hz " + std::to_string(channels) + " ch";
    int32_t codecType = CODEC_NONE;
    switch (parameters->codec_id) {
        case AV_CODEC_ID_AAC:
            codecType = AUDIO_AAC;
            break;
        case AV_CODEC_ID_MP3:
            codecType = AUDIO_MP3;
            break;
        case AV_CODEC_ID_PCM_ALAW:
            codecType = AUDIO_G711A;
            break;
        case AV_CODEC_ID_PCM_MULAW:
            codecType = AUDIO_G711U;
            break;
        default:
            m_notes.push_back(what + " left out: the player plays AAC, MP3 and G.711");
            return;
    }
    if (rate <= 0 || channels <= 0) {
        m_notes.push_back(what + " left out: it has no sample rate or channel count");
        return;
    }
    if (codecType == AUDIO_AAC) {
        // Raw frames get a header made from the stream's parameters. HE-AAC
        // is carried as its AAC core at half the rate (the decoder finds the
        // extension in the frames); its stereo variant has a mono core.
        int profile = parameters->profile;
        int coreRate = rate;
        int coreChannels = channels;
        if (profile == FF_PROFILE_AAC_HE || profile == FF_PROFILE_AAC_HE_V2) {
            coreRate = rate / 2;
            coreChannels = profile == FF_PROFILE_AAC_HE_V2 ? 1 : channels;
            profile = FF_PROFILE_AAC_LOW;
        }
        if (profile < FF_PROFILE_AAC_MAIN || profile > FF_PROFILE_AAC_LTP) {
            profile = FF_PROFILE_AAC_LOW;
        }
        m_adtsRate = adtsRateIndex(coreRate);
        m_adtsChannels = coreChannels == 8 ? 7 : coreChannels;
        if (m_adtsRate < 0 || m_adtsChannels > 7) {
            m_notes.push_back(what + " left out: it cannot be framed as ADTS");
            m_adtsRate = -1;
            return;
        }
        m_adtsProfile = profile;
    }
    m_audioIndex = index;
    m_audioInfo.codecType = codecType;
    m_audioInfo.rateOrWidth = static_cast<uint32_t>(rate);
    m_audioInfo.formatOrHeight = static_cast<uint32_t>(channels) | (16u << 16);
}

bool FileSource::read(SourceUnit* unit) {
    if (!m_format) {
        return false;
    }
    while (m_ready.empty() && !m_ended) {
        const int status = av_read_frame(m_format, m_packet);
        if (status < 0) {
            if (status != AVERROR_EOF) {
                m_error = "read error: " + libavError(status);
            }
            m_ended = true;
            break;
        }
        if (m_packet->stream_index == m_videoIndex) {
            if (!convertVideo(m_packet)) {
                m_ended = true;
            }
        } else if (m_packet->stream_index == m_audioIndex) {
            convertAudio(m_packet);
        }
        av_packet_unref(m_packet);
    }
    if (m_ready.empty()) {
        return false;
    }
    *unit = std::move(m_ready.front());
    m_ready.pop_front();
    return true;
}

bool FileSource::convertVideo(AVPacket* packet) {
    if (!m_filter) {
        addVideoUnit(packet);
        return true;
    }
    int status = av_bsf_send_packet(m_filter, packet);
    if (status < 0) {
        m_error = "cannot convert the video to Annex B: " + libavError(status);
        return false;
    }
    while ((status = av_bsf_receive_packet(m_filter, packet)) == 0) {
        addVideoUnit(packet);
        av_packet_unref(packet);
    }
    return true;
}

void FileSource::addVideoUnit(const AVPacket* packet) {
    if (packet->size <= 0) {
        return;
    }
    const AVStream* stream = m_format->streams[m_videoIndex];
    const int64_t time = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    SourceUnit unit;
    unit.track = TRACK_VIDEO;
    unit.data.assign(packet->data, packet->data + packet->size);
    unit.timeMs = time != AV_NOPTS_VALUE
                      ? toMs(time, stream)
                      : (m_videoSequence ? m_lastVideoMs + kDefaultPictureMs : 0);
    unit.keyFrame = (packet->flags & AV_PKT_FLAG_KEY) != 0;
    unit.sequence = m_videoSequence++;
    m_lastVideoMs = unit.timeMs;
    m_ready.push_back(std::move(unit));
}

void FileSource::convertAudio(AVPacket* packet) {
    if (packet->size <= 0) {
        return;
    }
    const AVStream* stream = m_format->streams[m_audioIndex];
    const int64_t time = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    const uint32_t timeMs = time != AV_NOPTS_VALUE ? toMs(time, stream) : 0;
    const bool key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
    if (m_audioInfo.codecType == AUDIO_G711A || m_audioInfo.codecType == AUDIO_G711U) {
        // A camera sends G.711 in 20 ms frames; files hold longer blocks.
        const int rate = stream->codecpar->sample_rate;
        const int frameBytes = std::max(
            1,
            static_cast<int>(rate * stream->codecpar->ch_layout.nb_channels * kG711FrameMs / 1000));
        for (int offset = 0, piece = 0; offset < packet->size; offset += frameBytes, ++piece) {
            SourceUnit unit;
            unit.track = TRACK_AUDIO;
            const int size = std::min(frameBytes, packet->size - offset);
            unit.data.assign(packet->data + offset, packet->data + offset + size);
            unit.timeMs = timeMs + static_cast<uint32_t>(piece) * kG711FrameMs;
            unit.keyFrame = true;
            unit.sequence = m_audioSequence++;
            m_ready.push_back(std::move(unit));
        }
        return;
    }
    const bool addHeader = m_adtsRate >= 0 && !isAdtsFrame(packet->data, packet->size);
    const int headerSize = addHeader ? kAdtsHeaderSize : 0;
    const int length = packet->size + headerSize;
    if (addHeader && length > kAdtsMaxFrameSize) {
        return;
    }
    SourceUnit unit;
    unit.track = TRACK_AUDIO;
    unit.timeMs = timeMs;
    unit.keyFrame = key;
    unit.sequence = m_audioSequence++;
    unit.data.resize(static_cast<size_t>(length));
    if (addHeader) {
        uint8_t* header = unit.data.data();
        header[0] = 0xFF;
        header[1] = 0xF1;  // MPEG-4, no CRC
        header[2] =
            static_cast<uint8_t>((m_adtsProfile << 6) | (m_adtsRate << 2) | (m_adtsChannels >> 2));
        header[3] = static_cast<uint8_t>(((m_adtsChannels & 3) << 6) | (length >> 11));
        header[4] = static_cast<uint8_t>((length >> 3) & 0xFF);
        header[5] = static_cast<uint8_t>(((length & 7) << 5) | 0x1F);
        header[6] = 0xFC;
    }
    std::memcpy(unit.data.data() + headerSize, packet->data, static_cast<size_t>(packet->size));
    m_ready.push_back(std::move(unit));
}

uint32_t FileSource::toMs(int64_t time, const AVStream* stream) const {
    const int64_t ms =
        av_rescale_q(time, stream->time_base, AVRational{1, 1000}) - av_rescale(m_startUs, 1, 1000);
    return ms > 0 ? static_cast<uint32_t>(ms) : 0;
}

void FileSource::close() {
    av_bsf_free(&m_filter);
    av_packet_free(&m_packet);
    avformat_close_input(&m_format);
    m_videoIndex = -1;
    m_audioIndex = -1;
    m_ready.clear();
    m_ended = false;
}
