#include "Platform/DDraw/CYV12Scaler.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Chroma of a picture too small to have any (a width or height of 1).
constexpr uint8_t kNeutralChroma = 128;

}  // namespace

CYV12Scaler::CYV12Scaler()
    : m_context(nullptr),
      m_contextSize{0, 0, 0, 0},
      m_contextFormat(AV_PIX_FMT_NONE),
      m_chromaCapacity(0) {}

CYV12Scaler::~CYV12Scaler() {
    sws_freeContext(m_context);
}

bool CYV12Scaler::scale(const YV12Image& image, const RECT& source, AVPixelFormat format,
                        uint8_t* destination, int stride, int width, int height) {
    const int sourceWidth = source.right - source.left;
    const int sourceHeight = source.bottom - source.top;
    if (!prepareContext(sourceWidth, sourceHeight, format, width, height)) {
        return false;
    }
    const int chromaColumns = (sourceWidth + 1) / 2;
    const int chromaRows = (sourceHeight + 1) / 2;
    const uint8_t* u = image.u + (source.top / 2) * image.chromaPitch + source.left / 2;
    const uint8_t* v = image.v + (source.top / 2) * image.chromaPitch + source.left / 2;
    int chromaPitch = image.chromaPitch;
    if (source.left / 2 + chromaColumns > image.width / 2 ||
        source.top / 2 + chromaRows > image.height / 2) {
        if (!extendChroma(image, source, &u, &v, &chromaPitch)) {
            return false;
        }
    }
    const uint8_t* planes[3] = {image.y + source.top * image.pitch + source.left, u, v};
    const int strides[3] = {image.pitch, chromaPitch, chromaPitch};
    uint8_t* destinations[1] = {destination};
    const int destinationStrides[1] = {stride};
    return sws_scale(m_context, planes, strides, 0, sourceHeight, destinations,
                     destinationStrides) == height;
}

bool CYV12Scaler::prepareContext(int sourceWidth, int sourceHeight, AVPixelFormat format, int width,
                                 int height) {
    const int size[4] = {sourceWidth, sourceHeight, width, height};
    if (m_context && format == m_contextFormat && std::equal(size, size + 4, m_contextSize)) {
        return true;
    }
    sws_freeContext(m_context);
    m_contextFormat = AV_PIX_FMT_NONE;
    // Area averaging: for a window smaller than the picture (a wall's tile,
    // 1280x720 into 480x270) it took half the time of the bilinear filter;
    // libswscale enlarges with the bilinear filter either way.
    m_context = sws_getContext(sourceWidth, sourceHeight, AV_PIX_FMT_YUV420P, width, height, format,
                               SWS_AREA, nullptr, nullptr, nullptr);
    if (!m_context) {
        return false;
    }
    // BT.601 limited range is libswscale's default for YUV input; it is
    // stated here because the colours depend on it.
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(m_context, coefficients, 0, coefficients, 1, 0, 1 << 16, 1 << 16);
    std::copy(size, size + 4, m_contextSize);
    m_contextFormat = format;
    return true;
}

bool CYV12Scaler::extendChroma(const YV12Image& image, const RECT& source, const uint8_t** u,
                               const uint8_t** v, int* pitch) {
    const int columns = (source.right - source.left + 1) / 2;
    const int rows = (source.bottom - source.top + 1) / 2;
    const size_t planeBytes = static_cast<size_t>(columns) * static_cast<size_t>(rows);
    if (m_chromaCapacity < 2 * planeBytes) {
        m_chroma.reset(new (std::nothrow) uint8_t[2 * planeBytes]);
        m_chromaCapacity = m_chroma ? 2 * planeBytes : 0;
        if (!m_chroma) {
            return false;
        }
    }
    const int firstColumn = source.left / 2;
    const int firstRow = source.top / 2;
    const int lastColumn = image.width / 2 - 1;
    const int lastRow = image.height / 2 - 1;
    const uint8_t* planes[2] = {image.u, image.v};
    for (int plane = 0; plane < 2; ++plane) {
        uint8_t* extended = m_chroma.get() + plane * planeBytes;
        if (lastColumn < 0 || lastRow < 0) {
            std::memset(extended, kNeutralChroma, planeBytes);
            continue;
        }
        // Columns that exist are copied; the rest repeat the picture's last column.
        const int copied = std::max(0, std::min(columns, lastColumn + 1 - firstColumn));
        for (int row = 0; row < rows; ++row) {
            const uint8_t* from =
                planes[plane] + std::min(firstRow + row, lastRow) * image.chromaPitch;
            uint8_t* to = extended + static_cast<size_t>(row) * columns;
            std::memcpy(to, from + firstColumn, copied);
            std::memset(to + copied, from[lastColumn], columns - copied);
        }
    }
    *u = m_chroma.get();
    *v = m_chroma.get() + planeBytes;
    *pitch = columns;
    return true;
}
