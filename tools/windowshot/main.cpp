// Saves what a window of the X display ($DISPLAY) shows as a PNG file.
// Usage: tavo_windowshot OUT.png [WINDOW_NAME]   (without a name: the whole screen)
// The README's screenshot is made with it (scripts/screenshot).

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <string>

#include "windowshot/TopLevelWindow.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

// Encodes the image as PNG into path; false on failure.
bool writePng(XImage* image, const char* path) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    AVCodecContext* encoder = codec ? avcodec_alloc_context3(codec) : nullptr;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    bool written = false;
    if (encoder && frame && packet) {
        encoder->width = frame->width = image->width;
        encoder->height = frame->height = image->height;
        encoder->pix_fmt = AV_PIX_FMT_RGB24;
        frame->format = AV_PIX_FMT_RGB24;
        encoder->time_base = AVRational{1, 1};
        if (avcodec_open2(encoder, codec, nullptr) == 0 && av_frame_get_buffer(frame, 0) == 0) {
            for (int y = 0; y < image->height; ++y) {
                uint8_t* row = frame->data[0] + y * frame->linesize[0];
                for (int x = 0; x < image->width; ++x) {
                    const unsigned long pixel = XGetPixel(image, x, y);
                    row[3 * x] = static_cast<uint8_t>((pixel & image->red_mask) >> 16);
                    row[3 * x + 1] = static_cast<uint8_t>((pixel & image->green_mask) >> 8);
                    row[3 * x + 2] = static_cast<uint8_t>(pixel & image->blue_mask);
                }
            }
            if (avcodec_send_frame(encoder, frame) == 0 &&
                avcodec_receive_packet(encoder, packet) == 0) {
                FILE* out = std::fopen(path, "wb");
                written = out && std::fwrite(packet->data, 1, packet->size, out) ==
                                     static_cast<size_t>(packet->size);
                written = out && std::fclose(out) == 0 && written;
            }
        }
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&encoder);
    return written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: tavo_windowshot OUT.png [WINDOW_NAME]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "tavo_windowshot: cannot open the display\n");
        return 1;
    }
    const Window window =
        argc == 3 ? findTopLevelWindow(display, argv[2]) : DefaultRootWindow(display);
    XWindowAttributes attributes;
    XImage* image = nullptr;
    if (window && XGetWindowAttributes(display, window, &attributes)) {
        image = XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes,
                          ZPixmap);
    }
    const bool written = image && image->depth == 24 && writePng(image, argv[1]);
    if (image) {
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    if (!written) {
        std::fprintf(stderr, "tavo_windowshot: could not save %s%s%s\n",
                     argc == 3 ? "the window " : "the screen", argc == 3 ? argv[2] : "",
                     window ? "" : " (no such window)");
        return 1;
    }
    std::printf("saved %s\n", argv[1]);
    return 0;
}
