#include "support/DecodedFile.h"

#include <algorithm>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

constexpr size_t kFirstPacketBytes = 16;
constexpr AVRational kMs{1, 1000};

void receiveAll(AVCodecContext* decoder, AVFrame* frame, DecodedFile::Stream* stream) {
    int result;
    while ((result = avcodec_receive_frame(decoder, frame)) == 0) {
        if (stream->frames++ == 0) {
            stream->width = frame->width;
            stream->height = frame->height;
            stream->sampleRate = frame->sample_rate;
            for (int plane = 0; plane < 3 && frame->width > 0; ++plane) {
                const int shift = plane == 0 ? 0 : 1;
                stream->planes.emplace_back();
                for (int row = 0; row < frame->height >> shift; ++row) {
                    const uint8_t* line = frame->data[plane] + row * frame->linesize[plane];
                    stream->planes.back().insert(stream->planes.back().end(), line,
                                                 line + (frame->width >> shift));
                }
            }
        }
    }
    if (result != AVERROR(EAGAIN) && result != AVERROR_EOF) {
        ++stream->decodeErrors;
    }
}

}  // namespace

DecodedFile::DecodedFile(const std::string& path) : m_opened(false) {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
        return;
    }
    if (avformat_find_stream_info(format, nullptr) < 0) {
        avformat_close_input(&format);
        return;
    }
    m_opened = true;
    std::vector<AVCodecContext*> decoders;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters* parameters = format->streams[i]->codecpar;
        Stream stream;
        stream.type = parameters->codec_type;
        stream.codec = parameters->codec_id;
        m_streams.push_back(stream);
        const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
        AVCodecContext* decoder = codec ? avcodec_alloc_context3(codec) : nullptr;
        if (decoder && (avcodec_parameters_to_context(decoder, parameters) < 0 ||
                        avcodec_open2(decoder, codec, nullptr) < 0)) {
            avcodec_free_context(&decoder);
        }
        decoders.push_back(decoder);
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    while (av_read_frame(format, packet) == 0) {
        const size_t index = static_cast<size_t>(packet->stream_index);
        Stream& stream = m_streams[index];
        stream.timesMs.push_back(av_rescale_q(packet->pts, format->streams[index]->time_base, kMs));
        stream.keys.push_back((packet->flags & AV_PKT_FLAG_KEY) != 0);
        if (stream.timesMs.size() == 1) {
            stream.firstPacket.assign(
                packet->data, packet->data + std::min<size_t>(packet->size, kFirstPacketBytes));
        }
        if (decoders[index]) {
            if (avcodec_send_packet(decoders[index], packet) < 0) {
                ++stream.decodeErrors;
            }
            receiveAll(decoders[index], frame, &stream);
        }
        av_packet_unref(packet);
    }
    for (size_t i = 0; i < decoders.size(); ++i) {
        if (decoders[i]) {
            avcodec_send_packet(decoders[i], nullptr);
            receiveAll(decoders[i], frame, &m_streams[i]);
            avcodec_free_context(&decoders[i]);
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&format);
}

const DecodedFile::Stream* DecodedFile::find(AVMediaType type) const {
    for (const Stream& stream : m_streams) {
        if (stream.type == type) {
            return &stream;
        }
    }
    return nullptr;
}
