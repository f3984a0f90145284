#include "support/MediaProbe.h"

extern "C" {
#include <libavformat/avformat.h>
}

bool probePictureSize(const std::string& path, int* width, int* height) {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
        return false;
    }
    bool found = false;
    if (avformat_find_stream_info(format, nullptr) >= 0) {
        for (unsigned i = 0; i < format->nb_streams && !found; ++i) {
            const AVCodecParameters* codec = format->streams[i]->codecpar;
            if (codec->codec_type == AVMEDIA_TYPE_VIDEO) {
                *width = codec->width;
                *height = codec->height;
                found = true;
            }
        }
    }
    avformat_close_input(&format);
    return found;
}
