#include "Platform/X11/CX11WindowImage.h"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdlib>

#include "Common/CScopedLock.h"
#include "Platform/X11/CX11Connection.h"

using RIVO_Common_Player::CScopedLock;

namespace {

// The libav format of a true-colour image's pixels in memory, or
// AV_PIX_FMT_NONE for layouts not handled.
AVPixelFormat pixelFormatOf(const XImage& image) {
    const bool lsbFirst = image.byte_order == LSBFirst;
    const bool redHigh =
        image.red_mask == 0xFF0000 && image.green_mask == 0xFF00 && image.blue_mask == 0xFF;
    const bool redLow =
        image.red_mask == 0xFF && image.green_mask == 0xFF00 && image.blue_mask == 0xFF0000;
    switch (image.bits_per_pixel) {
        case 32:
            if (redHigh) {
                return lsbFirst ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_0RGB;
            }
            if (redLow) {
                return lsbFirst ? AV_PIX_FMT_RGB0 : AV_PIX_FMT_0BGR;
            }
            break;
        case 24:
            if (redHigh || redLow) {
                return redHigh == lsbFirst ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_RGB24;
            }
            break;
        case 16:
            if (image.red_mask == 0xF800 && image.green_mask == 0x7E0 && image.blue_mask == 0x1F) {
                return lsbFirst ? AV_PIX_FMT_RGB565LE : AV_PIX_FMT_RGB565BE;
            }
            break;
        default:
            break;
    }
    return AV_PIX_FMT_NONE;
}

}  // namespace

CX11WindowImage::CX11WindowImage()
    : m_image(nullptr),
      m_segment{},
      m_shared(false),
      m_sharingFailed(false),
      m_visual(nullptr),
      m_depth(0),
      m_window(0),
      m_windowVisual(nullptr),
      m_windowDepth(0) {}

CX11WindowImage::~CX11WindowImage() {
    if (m_image) {
        CScopedLock lock(CX11Connection::mutex());
        release_Locked();
    }
}

bool CX11WindowImage::prepare(unsigned long window, int width, int height, uint8_t** pixels,
                              int* stride, AVPixelFormat* format) {
    CX11Connection& x11 = CX11Connection::instance();
    CScopedLock lock(CX11Connection::mutex());
    // A window keeps its visual and depth for life, so they are asked for
    // once per window (two round trips), not once per picture; a window
    // that went away shows in the next put, which makes them asked for again.
    if (window != m_window) {
        XWindowAttributes attributes{};
        m_window = 0;
        if (!x11.runChecked_Locked([&](Display* display) {
                return XGetWindowAttributes(display, window, &attributes) != 0;
            })) {
            return false;
        }
        m_window = window;
        m_windowVisual = attributes.visual;
        m_windowDepth = attributes.depth;
    }
    if (!m_image || m_image->width != width || m_image->height != height ||
        m_visual != m_windowVisual || m_depth != m_windowDepth) {
        release_Locked();
        if (!create_Locked(x11.display_Locked(), m_windowVisual, m_windowDepth, width, height)) {
            return false;
        }
    }
    *format = pixelFormatOf(*m_image);
    *pixels = reinterpret_cast<uint8_t*>(m_image->data);
    *stride = m_image->bytes_per_line;
    return *format != AV_PIX_FMT_NONE;
}

bool CX11WindowImage::put(unsigned long window, int x, int y, int width, int height, int destX,
                          int destY) {
    CX11Connection& x11 = CX11Connection::instance();
    CScopedLock lock(CX11Connection::mutex());
    if (!m_image) {
        return false;
    }
    const bool drawn = x11.runChecked_Locked([&](Display* display) {
        GC gc = XCreateGC(display, window, 0, nullptr);
        if (m_shared) {
            XShmPutImage(display, window, gc, m_image, x, y, destX, destY, width, height, False);
        } else {
            XPutImage(display, window, gc, m_image, x, y, destX, destY, width, height);
        }
        XFreeGC(display, gc);
        return true;
    });
    if (!drawn && window == m_window) {
        m_window = 0;
    }
    return drawn;
}

bool CX11WindowImage::create_Locked(Display* display, Visual* visual, int depth, int width,
                                    int height) {
    if (!m_sharingFailed && XShmQueryExtension(display)) {
        if (createShared_Locked(display, visual, depth, width, height)) {
            return true;
        }
        m_sharingFailed = true;
    }
    XImage* image = XCreateImage(display, visual, depth, ZPixmap, 0, nullptr, width, height, 32, 0);
    if (!image) {
        return false;
    }
    image->data =
        static_cast<char*>(std::malloc(static_cast<size_t>(image->bytes_per_line) * height));
    if (!image->data) {
        XDestroyImage(image);
        return false;
    }
    m_image = image;
    m_visual = visual;
    m_depth = depth;
    return true;
}

bool CX11WindowImage::createShared_Locked(Display* display, Visual* visual, int depth, int width,
                                          int height) {
    // The image keeps a pointer to m_segment, which therefore stays in place.
    m_segment = XShmSegmentInfo{};
    XImage* image =
        XShmCreateImage(display, visual, depth, ZPixmap, nullptr, &m_segment, width, height);
    if (!image) {
        return false;
    }
    m_segment.shmid =
        shmget(IPC_PRIVATE, static_cast<size_t>(image->bytes_per_line) * height, IPC_CREAT | 0600);
    if (m_segment.shmid < 0) {
        XDestroyImage(image);
        return false;
    }
    m_segment.shmaddr = static_cast<char*>(shmat(m_segment.shmid, nullptr, 0));
    const bool mapped = m_segment.shmaddr != reinterpret_cast<char*>(-1);
    m_segment.readOnly = False;
    const bool attached = mapped && CX11Connection::instance().runChecked_Locked(
                                        [&](Display* d) { return XShmAttach(d, &m_segment) != 0; });
    // Marked for removal now, the segment goes away once the server and this
    // process have both let go of it, even if the process ends abruptly.
    shmctl(m_segment.shmid, IPC_RMID, nullptr);
    if (!attached) {
        if (mapped) {
            shmdt(m_segment.shmaddr);
        }
        XDestroyImage(image);
        return false;
    }
    image->data = m_segment.shmaddr;
    m_image = image;
    m_shared = true;
    m_visual = visual;
    m_depth = depth;
    return true;
}

void CX11WindowImage::release_Locked() {
    if (!m_image) {
        return;
    }
    if (m_shared) {
        CX11Connection::instance().runChecked_Locked([&](Display* d) {
            XShmDetach(d, &m_segment);
            return true;
        });
        shmdt(m_segment.shmaddr);
        m_image->data = nullptr;  // not the image's to free
    }
    XDestroyImage(m_image);
    m_image = nullptr;
    m_shared = false;
    m_visual = nullptr;
    m_depth = 0;
}
