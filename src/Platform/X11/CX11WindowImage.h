#pragma once

extern "C" {
#include <libavutil/pixfmt.h>
}

#include <cstddef>
#include <cstdint>
#include <vector>

// An image in the client that is put into X11 windows over the library's
// libxcb connection: in shared memory where the server offers MIT-SHM (no
// copy through the socket), in the client's memory otherwise. The image
// takes the window's visual and depth; its pixels are written between
// prepare() and put(). No lock is taken: the connection is safe for use
// from many threads, and each image belongs to one renderer, whose calls the
// player serialises.
class CX11WindowImage {
public:
    CX11WindowImage();
    ~CX11WindowImage();

    CX11WindowImage(const CX11WindowImage&) = delete;
    CX11WindowImage& operator=(const CX11WindowImage&) = delete;

    // Readies an image of width x height for window and tells where its
    // pixels are and in which libav pixel format. False for a window that
    // does not exist, a visual of a layout other than 16, 24 or 32 bits of
    // true colour, or a lack of memory.
    bool prepare(unsigned long window, int width, int height, uint8_t** pixels, int* stride,
                 AVPixelFormat* format);
    // Puts the part (x, y, width, height) of the prepared image at (destX,
    // destY) of window; the server clips it to the window's visible region.
    // Returns once the server has drawn it. False when the window went away.
    bool put(unsigned long window, int x, int y, int width, int height, int destX, int destY);

    // True while the prepared image is in shared memory.
    bool shared() const { return m_shmAddress != nullptr; }

private:
    // Learns the window's depth and pixel layout and makes a graphics
    // context for it; false for an unknown window or an unhandled visual.
    bool learnWindow(uint32_t window);
    bool create(int width, int height);
    bool createShared(size_t bytes);
    // Puts the part through the socket, in requests the server accepts.
    bool putPlain(uint32_t window, int x, int y, int width, int height, int destX, int destY);
    void release();
    void releaseContext();

    // The window learnt about, 0 when it must be asked for again.
    uint32_t m_window;
    uint8_t m_depth;
    int m_bitsPerPixel;
    int m_scanlinePad;
    AVPixelFormat m_format;
    uint32_t m_context;  // graphics context for m_window, 0 for none
    // The image.
    int m_width;
    int m_height;
    int m_stride;
    uint8_t* m_pixels;
    uint8_t* m_shmAddress;  // when shared
    uint32_t m_segment;
    bool m_sharingFailed;  // the server could not attach a segment: plain images from then on
    std::vector<uint8_t> m_plain;
    std::vector<uint8_t> m_part;  // a plain put's rows
};
