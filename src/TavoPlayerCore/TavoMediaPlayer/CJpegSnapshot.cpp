#include "TavoPlayerCore/TavoMediaPlayer/CJpegSnapshot.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
}

#include <cstdio>
#include <cstring>

#include "tavoplayer/ITavoMediaPlayer.h"

namespace {

// Everything one snapshot acquires, released in reverse order whatever happened.
struct SnapshotResources {
    AVFormatContext* format = nullptr;
    AVCodecContext* encoder = nullptr;
    AVFrame* frame = nullptr;
    uint8_t* buffer = nullptr;
    AVPacket* packet = nullptr;
    bool fileOpen = false;

    ~SnapshotResources() {
        av_packet_free(&packet);
        av_free(buffer);
        av_frame_free(&frame);
        avcodec_free_context(&encoder);
        if (format) {
            if (fileOpen) {
                avio_closep(&format->pb);
            }
            avformat_free_context(format);
        }
    }
};

// Copies the picture into the frame's tightly packed planes: one block per
// plane when the strides have no spare bytes, row by row otherwise. With odd
// sizes the chroma planes are one sample wider and taller than the picture's
// halves; that edge stays neutral grey.
void packPlanes(const VideoPicture& picture, int width, int height, AVFrame* frame) {
    const int chromaWidth = width / 2;
    const int chromaHeight = height / 2;
    if (width % 2 == 0 && height % 2 == 0 && picture.linesize[0] == width &&
        picture.linesize[1] == chromaWidth && picture.linesize[2] == chromaWidth) {
        std::memcpy(frame->data[0], picture.data[0], static_cast<size_t>(width) * height);
        const size_t chromaBytes = static_cast<size_t>(chromaWidth) * chromaHeight;
        std::memcpy(frame->data[1], picture.data[1], chromaBytes);
        std::memcpy(frame->data[2], picture.data[2], chromaBytes);
        return;
    }
    for (int plane = 1; plane < 3; ++plane) {
        std::memset(frame->data[plane], 128,
                    static_cast<size_t>(frame->linesize[plane]) * ((height + 1) / 2));
    }
    for (int r = 0; r < height; ++r) {
        std::memcpy(frame->data[0] + static_cast<size_t>(r) * frame->linesize[0],
                    picture.data[0] + static_cast<size_t>(r) * picture.linesize[0], width);
    }
    for (int plane = 1; plane < 3; ++plane) {
        for (int r = 0; r < chromaHeight; ++r) {
            std::memcpy(frame->data[plane] + static_cast<size_t>(r) * frame->linesize[plane],
                        picture.data[plane] + static_cast<size_t>(r) * picture.linesize[plane],
                        chromaWidth);
        }
    }
}

int32_t encode(const VideoPicture& picture, int width, int height, const char* path,
               bool* fileCreated) {
    SnapshotResources res;
    res.format = avformat_alloc_context();
    const AVOutputFormat* jpeg = av_guess_format("mjpeg", nullptr, nullptr);
    if (!res.format || !jpeg) {
        return PLAYER_E_FAIL;
    }
    res.format->oformat = jpeg;
    if (avio_open(&res.format->pb, path, AVIO_FLAG_READ_WRITE) < 0) {
        return PLAYER_E_FAIL;
    }
    res.fileOpen = true;
    *fileCreated = true;
    AVStream* stream = avformat_new_stream(res.format, nullptr);
    const AVCodec* codec = avcodec_find_encoder(jpeg->video_codec);
    if (!stream || !codec) {
        return PLAYER_E_FAIL;
    }
    res.encoder = avcodec_alloc_context3(codec);
    if (!res.encoder) {
        return PLAYER_E_FAIL;
    }
    res.encoder->codec_type = AVMEDIA_TYPE_VIDEO;
    res.encoder->codec_id = jpeg->video_codec;
    res.encoder->pix_fmt = AV_PIX_FMT_YUVJ420P;
    res.encoder->width = width;
    res.encoder->height = height;
    res.encoder->time_base = AVRational{1, 25};
    if (avcodec_open2(res.encoder, codec, nullptr) < 0 ||
        avcodec_parameters_from_context(stream->codecpar, res.encoder) < 0) {
        return PLAYER_E_FAIL;
    }
    stream->time_base = res.encoder->time_base;

    res.frame = av_frame_alloc();
    const int size = av_image_get_buffer_size(AV_PIX_FMT_YUVJ420P, width, height, 1);
    res.buffer = size > 0 ? static_cast<uint8_t*>(av_malloc(size)) : nullptr;
    res.packet = av_packet_alloc();
    if (!res.frame || !res.buffer || !res.packet) {
        return PLAYER_E_FAIL;
    }
    av_image_fill_arrays(res.frame->data, res.frame->linesize, res.buffer, AV_PIX_FMT_YUVJ420P,
                         width, height, 1);
    res.frame->format = AV_PIX_FMT_YUVJ420P;
    res.frame->width = width;
    res.frame->height = height;
    if (avformat_write_header(res.format, nullptr) < 0) {
        return PLAYER_E_FAIL;
    }
    packPlanes(picture, width, height, res.frame);
    if (avcodec_send_frame(res.encoder, res.frame) < 0 ||
        avcodec_receive_packet(res.encoder, res.packet) < 0) {
        return PLAYER_E_FAIL;
    }
    res.packet->stream_index = stream->index;
    if (av_write_frame(res.format, res.packet) < 0 || av_write_trailer(res.format) < 0) {
        return PLAYER_E_FAIL;
    }
    return 0;
}

}  // namespace

int32_t CJpegSnapshot::write(const VideoPicture& picture, int width, int height, const char* path) {
    if (!path || width <= 0 || height <= 0 || !picture.data[0] || !picture.data[1] ||
        !picture.data[2]) {
        return PLAYER_E_FAIL;
    }
    bool fileCreated = false;
    const int32_t result = encode(picture, width, height, path, &fileCreated);
    if (result != 0 && fileCreated) {
        // A failed snapshot leaves no half-written file behind.
        std::remove(path);
    }
    return result;
}
