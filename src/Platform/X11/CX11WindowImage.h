#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include <cstdint>

#include "Platform/X11/CX11Connection.h"

// An image in the client that is put into X11 windows of the library's
// display: in shared memory where the server offers MIT-SHM (no copy
// through the socket), as a plain XImage otherwise. The image takes the
// window's visual and depth; its pixels are written between prepare() and
// put() without holding the display.
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
    bool shared() const { return m_shared; }

private:
    // Under the X lock.
    bool create_Locked(Display* display, Visual* visual, int depth, int width, int height)
        REQUIRES(CX11Connection::mutex());
    bool createShared_Locked(Display* display, Visual* visual, int depth, int width, int height)
        REQUIRES(CX11Connection::mutex());
    void release_Locked() REQUIRES(CX11Connection::mutex());

    XImage* m_image;
    XShmSegmentInfo m_segment;
    bool m_shared;
    bool m_sharingFailed;  // the server could not attach a segment: plain images from then on
    Visual* m_visual;      // the image's
    int m_depth;
    unsigned long m_window;  // the last window prepared for, 0 when it must be asked for again
    Visual* m_windowVisual;
    int m_windowDepth;
};
