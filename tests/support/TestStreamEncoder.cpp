#include "support/TestStreamEncoder.h"

#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

namespace {

struct CodecContextFree {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

void check(int result, const char* what) {
    if (result < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(result, text, sizeof(text));
        throw std::runtime_error(std::string(what) + ": " + text);
    }
}

CodecContextPtr openEncoder(const char* name) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec) {
        throw std::runtime_error(std::string("no encoder ") + name);
    }
    CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) {
        throw std::runtime_error("avcodec_alloc_context3");
    }
    // One thread keeps the output identical from run to run.
    context->thread_count = 1;
    return context;
}

// Sends frame (null drains) and hands every packet the encoder releases to take.
template <typename Take>
void encode(AVCodecContext* context, AVFrame* frame, AVPacket* packet, Take take) {
    check(avcodec_send_frame(context, frame), "avcodec_send_frame");
    for (;;) {
        const int result = avcodec_receive_packet(context, packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) {
            return;
        }
        check(result, "avcodec_receive_packet");
        take(packet);
        av_packet_unref(packet);
    }
}

// The 7-byte ADTS header (MPEG-4, no CRC) in front of one raw AAC frame.
std::vector<uint8_t> adtsFrame(const AVCodecContext* context, const AVPacket* packet) {
    static const int kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                 22050, 16000, 12000, 11025, 8000,  7350};
    int rateIndex = 0;
    while (kRates[rateIndex] != context->sample_rate) {
        ++rateIndex;
    }
    const int profile =
        context->profile == FF_PROFILE_UNKNOWN ? FF_PROFILE_AAC_LOW : context->profile;
    const int channels = context->ch_layout.nb_channels;
    const int length = 7 + packet->size;
    std::vector<uint8_t> out = {
        0xFF,
        0xF1,
        static_cast<uint8_t>((profile << 6) | (rateIndex << 2) | (channels >> 2)),
        static_cast<uint8_t>(((channels & 3) << 6) | (length >> 11)),
        static_cast<uint8_t>((length >> 3) & 0xFF),
        static_cast<uint8_t>(((length & 7) << 5) | 0x1F),
        0xFC,
    };
    out.insert(out.end(), packet->data, packet->data + packet->size);
    return out;
}

}  // namespace

std::vector<EncodedSample> TestStreamEncoder::encodeVideo(const VideoSettings& settings,
                                                          int frames) {
    const bool h264 = settings.codec == VideoCodec::H264;
    CodecContextPtr context = openEncoder(h264 ? "libx264" : "libx265");
    context->width = settings.width;
    context->height = settings.height;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->time_base = AVRational{1, settings.fps};
    context->framerate = AVRational{settings.fps, 1};
    context->gop_size = settings.keyInterval;
    context->keyint_min = settings.keyInterval;
    context->max_b_frames = 0;
    if (settings.bitRate > 0) {
        context->bit_rate = settings.bitRate;
        context->rc_max_rate = settings.bitRate;
        context->rc_buffer_size = static_cast<int>(settings.bitRate);
    }
    const std::string keyint = std::to_string(settings.keyInterval);
    av_opt_set(context->priv_data, "preset", "ultrafast", 0);
    if (h264) {
        av_opt_set(
            context->priv_data, "x264-params",
            ("keyint=" + keyint + ":min-keyint=" + keyint + ":scenecut=0:repeat-headers=1").c_str(),
            0);
    } else {
        av_opt_set(context->priv_data, "x265-params",
                   ("keyint=" + keyint + ":min-keyint=" + keyint +
                    ":scenecut=0:open-gop=0:repeat-headers=1:info=0:pools=none:frame-threads=1"
                    ":log-level=error")
                       .c_str(),
                   0);
    }
    check(avcodec_open2(context.get(), nullptr, nullptr), "avcodec_open2 video");

    FramePtr frame(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    frame->format = context->pix_fmt;
    frame->width = settings.width;
    frame->height = settings.height;
    check(av_frame_get_buffer(frame.get(), 0), "av_frame_get_buffer");

    std::vector<EncodedSample> out;
    auto take = [&](AVPacket* p) {
        const uint32_t time =
            settings.startMs + static_cast<uint32_t>(p->pts * 1000 / settings.fps);
        out.push_back({std::vector<uint8_t>(p->data, p->data + p->size), time,
                       (p->flags & AV_PKT_FLAG_KEY) != 0});
    };
    uint32_t noise = 12345;
    for (int i = 0; i < frames; ++i) {
        check(av_frame_make_writable(frame.get()), "av_frame_make_writable");
        for (int y = 0; y < settings.height; ++y) {
            uint8_t* row = frame->data[0] + y * frame->linesize[0];
            for (int x = 0; x < settings.width; ++x) {
                noise = noise * 1103515245u + 12345u;
                row[x] = static_cast<uint8_t>(x + y + 3 * i + ((noise >> 16) & 0x07));
            }
        }
        for (int plane = 1; plane < 3; ++plane) {
            for (int y = 0; y < settings.height / 2; ++y) {
                uint8_t* row = frame->data[plane] + y * frame->linesize[plane];
                for (int x = 0; x < settings.width / 2; ++x) {
                    row[x] = static_cast<uint8_t>(plane * 60 + (x + i) / 4);
                }
            }
        }
        frame->pts = i;
        encode(context.get(), frame.get(), packet.get(), take);
    }
    encode(context.get(), nullptr, packet.get(), take);
    return out;
}

std::vector<EncodedSample> TestStreamEncoder::encodeAudio(AudioCodec codec, uint32_t durationMs,
                                                          uint32_t startMs) {
    static const char* const kNames[] = {"aac", "libmp3lame", "pcm_alaw", "pcm_mulaw"};
    const bool g711 = codec == AudioCodec::G711A || codec == AudioCodec::G711U;
    CodecContextPtr context = openEncoder(kNames[static_cast<int>(codec)]);
    context->sample_rate = g711 ? 8000 : 16000;
    context->ch_layout = AV_CHANNEL_LAYOUT_MONO;
    context->sample_fmt = codec == AudioCodec::Aac   ? AV_SAMPLE_FMT_FLTP
                          : codec == AudioCodec::Mp3 ? AV_SAMPLE_FMT_S16P
                                                     : AV_SAMPLE_FMT_S16;
    context->bit_rate = g711 ? 0 : 32000;
    context->time_base = AVRational{1, context->sample_rate};
    check(avcodec_open2(context.get(), nullptr, nullptr), "avcodec_open2 audio");

    const int frameSamples = g711 ? 160 : context->frame_size;
    FramePtr frame(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    frame->format = context->sample_fmt;
    frame->nb_samples = frameSamples;
    frame->sample_rate = context->sample_rate;
    check(av_channel_layout_copy(&frame->ch_layout, &context->ch_layout), "channel layout");
    check(av_frame_get_buffer(frame.get(), 0), "av_frame_get_buffer");

    std::vector<EncodedSample> out;
    int64_t samplesOut = 0;
    auto take = [&](AVPacket* p) {
        const uint32_t time =
            startMs + static_cast<uint32_t>(samplesOut * 1000 / context->sample_rate);
        samplesOut += g711 ? p->size : frameSamples;
        out.push_back({codec == AudioCodec::Aac ? adtsFrame(context.get(), p)
                                                : std::vector<uint8_t>(p->data, p->data + p->size),
                       time, true});
    };
    const int64_t wanted = int64_t{durationMs} * context->sample_rate / 1000;
    for (int64_t done = 0; done < wanted; done += frameSamples) {
        check(av_frame_make_writable(frame.get()), "av_frame_make_writable");
        for (int i = 0; i < frameSamples; ++i) {
            const double value =
                0.3 * std::sin(2 * M_PI * 440.0 * double(done + i) / context->sample_rate);
            if (codec == AudioCodec::Aac) {
                reinterpret_cast<float*>(frame->data[0])[i] = static_cast<float>(value);
            } else {
                reinterpret_cast<int16_t*>(frame->data[0])[i] = static_cast<int16_t>(value * 32767);
            }
        }
        frame->pts = done;
        encode(context.get(), frame.get(), packet.get(), take);
    }
    encode(context.get(), nullptr, packet.get(), take);
    return out;
}
