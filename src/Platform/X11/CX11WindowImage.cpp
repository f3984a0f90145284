#include "Platform/X11/CX11WindowImage.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "Platform/X11/CXcbConnection.h"

namespace {

// The libav format of true-colour pixels of the given size and masks in the
// server's byte order, or AV_PIX_FMT_NONE for layouts not handled.
AVPixelFormat pixelFormatOf(int bitsPerPixel, const xcb_visualtype_t& visual, bool lsbFirst) {
    const bool redHigh =
        visual.red_mask == 0xFF0000 && visual.green_mask == 0xFF00 && visual.blue_mask == 0xFF;
    const bool redLow =
        visual.red_mask == 0xFF && visual.green_mask == 0xFF00 && visual.blue_mask == 0xFF0000;
    if (visual._class != XCB_VISUAL_CLASS_TRUE_COLOR) {
        return AV_PIX_FMT_NONE;
    }
    switch (bitsPerPixel) {
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
            if (visual.red_mask == 0xF800 && visual.green_mask == 0x7E0 &&
                visual.blue_mask == 0x1F) {
                return lsbFirst ? AV_PIX_FMT_RGB565LE : AV_PIX_FMT_RGB565BE;
            }
            break;
        default:
            break;
    }
    return AV_PIX_FMT_NONE;
}

// The server's description of a visual, or null.
const xcb_visualtype_t* findVisual(const xcb_setup_t* setup, xcb_visualid_t id) {
    for (xcb_screen_iterator_t screen = xcb_setup_roots_iterator(setup); screen.rem > 0;
         xcb_screen_next(&screen)) {
        for (xcb_depth_iterator_t depth = xcb_screen_allowed_depths_iterator(screen.data);
             depth.rem > 0; xcb_depth_next(&depth)) {
            for (xcb_visualtype_iterator_t visual = xcb_depth_visuals_iterator(depth.data);
                 visual.rem > 0; xcb_visualtype_next(&visual)) {
                if (visual.data->visual_id == id) {
                    return visual.data;
                }
            }
        }
    }
    return nullptr;
}

// Whether the server has drawn a checked request without an error.
bool succeeded(xcb_connection_t* connection, xcb_void_cookie_t cookie) {
    xcb_generic_error_t* error = xcb_request_check(connection, cookie);
    std::free(error);
    return error == nullptr;
}

}  // namespace

CX11WindowImage::CX11WindowImage()
    : m_window(0),
      m_depth(0),
      m_bitsPerPixel(0),
      m_scanlinePad(0),
      m_format(AV_PIX_FMT_NONE),
      m_context(0),
      m_width(0),
      m_height(0),
      m_stride(0),
      m_pixels(nullptr),
      m_shmAddress(nullptr),
      m_segment(0),
      m_sharingFailed(false) {}

CX11WindowImage::~CX11WindowImage() {
    release();
    releaseContext();
}

bool CX11WindowImage::prepare(unsigned long window, int width, int height, uint8_t** pixels,
                              int* stride, AVPixelFormat* format) {
    // A window keeps its visual and depth for life, so they are asked for
    // once per window, not once per picture; a window that went away shows
    // in the next put, which makes them asked for again.
    const uint32_t id = static_cast<uint32_t>(window);
    if (id != m_window && !learnWindow(id)) {
        return false;
    }
    if (!m_pixels || m_width != width || m_height != height) {
        release();
        if (!create(width, height)) {
            return false;
        }
    }
    *format = m_format;
    *pixels = m_pixels;
    *stride = m_stride;
    return true;
}

bool CX11WindowImage::learnWindow(uint32_t window) {
    releaseContext();
    m_window = 0;
    xcb_connection_t* connection = CXcbConnection::instance().connection();
    if (!connection) {
        return false;
    }
    // Both asked before either answer is awaited: one round trip.
    const xcb_get_window_attributes_cookie_t attributesAsked =
        xcb_get_window_attributes(connection, window);
    const xcb_get_geometry_cookie_t geometryAsked = xcb_get_geometry(connection, window);
    xcb_generic_error_t* error = nullptr;
    xcb_get_window_attributes_reply_t* attributes =
        xcb_get_window_attributes_reply(connection, attributesAsked, &error);
    std::free(error);
    error = nullptr;
    xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(connection, geometryAsked, &error);
    std::free(error);
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const xcb_visualtype_t* visual = attributes ? findVisual(setup, attributes->visual) : nullptr;
    const uint8_t depth = geometry ? geometry->depth : 0;
    std::free(attributes);
    std::free(geometry);
    if (!visual) {
        return false;
    }
    int bitsPerPixel = 0;
    int scanlinePad = 0;
    for (xcb_format_iterator_t format = xcb_setup_pixmap_formats_iterator(setup); format.rem > 0;
         xcb_format_next(&format)) {
        if (format.data->depth == depth) {
            bitsPerPixel = format.data->bits_per_pixel;
            scanlinePad = format.data->scanline_pad;
        }
    }
    const AVPixelFormat pixelFormat =
        pixelFormatOf(bitsPerPixel, *visual, setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST);
    if (pixelFormat == AV_PIX_FMT_NONE || scanlinePad == 0) {
        return false;
    }
    const uint32_t context = xcb_generate_id(connection);
    if (!succeeded(connection, xcb_create_gc_checked(connection, context, window, 0, nullptr))) {
        return false;
    }
    if (depth != m_depth || bitsPerPixel != m_bitsPerPixel) {
        release();  // the image's layout changes with the window's
    }
    m_context = context;
    m_window = window;
    m_depth = depth;
    m_bitsPerPixel = bitsPerPixel;
    m_scanlinePad = scanlinePad;
    m_format = pixelFormat;
    return true;
}

bool CX11WindowImage::create(int width, int height) {
    if (width <= 0 || height <= 0) {
        return false;
    }
    const int rowBits = width * m_bitsPerPixel;
    const int stride = (rowBits + m_scanlinePad - 1) / m_scanlinePad * m_scanlinePad / 8;
    const size_t bytes = static_cast<size_t>(stride) * static_cast<size_t>(height);
    m_stride = stride;
    m_width = width;
    m_height = height;
    if (!m_sharingFailed && createShared(bytes)) {
        m_pixels = m_shmAddress;
        return true;
    }
    m_plain.assign(bytes, 0);
    m_pixels = m_plain.data();
    return true;
}

bool CX11WindowImage::createShared(size_t bytes) {
    xcb_connection_t* connection = CXcbConnection::instance().connection();
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_shm_id);
    if (!extension || !extension->present) {
        m_sharingFailed = true;
        return false;
    }
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0) {
        return false;
    }
    void* address = shmat(id, nullptr, 0);
    const bool mapped = address != reinterpret_cast<void*>(-1);
    const uint32_t segment = xcb_generate_id(connection);
    const bool attached =
        mapped && succeeded(connection, xcb_shm_attach_checked(connection, segment,
                                                               static_cast<uint32_t>(id), 0));
    // Marked for removal now, the segment goes away once the server and this
    // process have both let go of it, even if the process ends abruptly.
    shmctl(id, IPC_RMID, nullptr);
    if (!attached) {
        if (mapped) {
            shmdt(address);
        }
        // A server on another machine cannot reach this one's memory.
        m_sharingFailed = true;
        return false;
    }
    m_shmAddress = static_cast<uint8_t*>(address);
    m_segment = segment;
    return true;
}

bool CX11WindowImage::put(unsigned long window, int x, int y, int width, int height, int destX,
                          int destY) {
    xcb_connection_t* connection = CXcbConnection::instance().connection();
    const uint32_t id = static_cast<uint32_t>(window);
    if (!m_pixels || !connection || id != m_window || width <= 0 || height <= 0) {
        return false;
    }
    bool drawn = false;
    if (m_shmAddress) {
        drawn = succeeded(connection, xcb_shm_put_image_checked(
                                          connection, id, m_context, static_cast<uint16_t>(m_width),
                                          static_cast<uint16_t>(m_height), static_cast<uint16_t>(x),
                                          static_cast<uint16_t>(y), static_cast<uint16_t>(width),
                                          static_cast<uint16_t>(height),
                                          static_cast<int16_t>(destX), static_cast<int16_t>(destY),
                                          m_depth, XCB_IMAGE_FORMAT_Z_PIXMAP, 0, m_segment, 0));
    } else {
        drawn = putPlain(id, x, y, width, height, destX, destY);
    }
    if (!drawn) {
        releaseContext();
        m_window = 0;
    }
    return drawn;
}

bool CX11WindowImage::putPlain(uint32_t window, int x, int y, int width, int height, int destX,
                               int destY) {
    xcb_connection_t* connection = CXcbConnection::instance().connection();
    const int rowBytes =
        (width * m_bitsPerPixel + m_scanlinePad - 1) / m_scanlinePad * m_scanlinePad / 8;
    // The request's header takes 24 bytes of the longest request the server takes.
    const size_t longest = static_cast<size_t>(xcb_get_maximum_request_length(connection)) * 4u;
    const int rowsPerRequest =
        longest > 24u + static_cast<size_t>(rowBytes)
            ? static_cast<int>((longest - 24u) / static_cast<size_t>(rowBytes))
            : 1;
    const size_t pixelOffset = static_cast<size_t>(x) * static_cast<size_t>(m_bitsPerPixel) / 8u;
    const size_t usedBytes = static_cast<size_t>(width) * static_cast<size_t>(m_bitsPerPixel) / 8u;
    xcb_void_cookie_t last{};
    for (int row = 0; row < height; row += rowsPerRequest) {
        const int rows = height - row < rowsPerRequest ? height - row : rowsPerRequest;
        m_part.assign(static_cast<size_t>(rowBytes) * static_cast<size_t>(rows), 0);
        for (int i = 0; i < rows; ++i) {
            std::memcpy(m_part.data() + static_cast<size_t>(i) * rowBytes,
                        m_pixels + static_cast<size_t>(y + row + i) * m_stride + pixelOffset,
                        usedBytes);
        }
        last =
            xcb_put_image_checked(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, m_context,
                                  static_cast<uint16_t>(width), static_cast<uint16_t>(rows),
                                  static_cast<int16_t>(destX), static_cast<int16_t>(destY + row), 0,
                                  m_depth, static_cast<uint32_t>(m_part.size()), m_part.data());
        if (row + rows < height) {
            xcb_discard_reply(connection, last.sequence);
        }
    }
    return succeeded(connection, last);
}

void CX11WindowImage::release() {
    if (m_shmAddress) {
        if (xcb_connection_t* connection = CXcbConnection::instance().connection()) {
            succeeded(connection, xcb_shm_detach_checked(connection, m_segment));
        }
        shmdt(m_shmAddress);
        m_shmAddress = nullptr;
        m_segment = 0;
    }
    m_plain.clear();
    m_plain.shrink_to_fit();
    m_pixels = nullptr;
    m_width = 0;
    m_height = 0;
    m_stride = 0;
}

void CX11WindowImage::releaseContext() {
    if (m_context != 0) {
        if (xcb_connection_t* connection = CXcbConnection::instance().connection()) {
            xcb_free_gc(connection, m_context);
            xcb_flush(connection);
        }
        m_context = 0;
    }
}
