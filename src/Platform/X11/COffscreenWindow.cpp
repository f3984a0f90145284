#include "Platform/X11/COffscreenWindow.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "Common/CScopedLock.h"

using RIVO_Common_Player::CLock;
using RIVO_Common_Player::CScopedLock;

namespace {

CLock g_registryLock;
// The live windows, made on first use.
std::set<const void*>& registry_Locked() REQUIRES(g_registryLock) {
    static std::set<const void*> windows;
    return windows;
}

// Opaque black RGBA pixels for a window of the given size.
std::vector<uint8_t> blackPixels(int width, int height) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4u, 0);
    for (size_t i = 3; i < pixels.size(); i += 4) {
        pixels[i] = 0xFF;
    }
    return pixels;
}

}  // namespace

COffscreenWindow::COffscreenWindow(int width, int height)
    : m_width(width > 0 ? width : 0),
      m_height(height > 0 ? height : 0),
      m_pixels(blackPixels(m_width, m_height)) {
    CScopedLock guard(g_registryLock);
    registry_Locked().insert(this);
}

COffscreenWindow::~COffscreenWindow() {
    CScopedLock guard(g_registryLock);
    registry_Locked().erase(this);
}

COffscreenWindow* COffscreenWindow::fromHandle(const void* handle) {
    if (!handle) {
        return nullptr;
    }
    CScopedLock guard(g_registryLock);
    return registry_Locked().count(handle)
               ? static_cast<COffscreenWindow*>(const_cast<void*>(handle))
               : nullptr;
}

void COffscreenWindow::size(int* width, int* height) const {
    CScopedLock guard(m_lock);
    *width = m_width;
    *height = m_height;
}

bool COffscreenWindow::resize(int width, int height) {
    if (width < 0 || height < 0) {
        return false;
    }
    CScopedLock guard(m_lock);
    m_width = width;
    m_height = height;
    m_pixels = blackPixels(width, height);
    return true;
}

bool COffscreenWindow::read(uint8_t* rgba, int strideBytes, int* width, int* height) const {
    CScopedLock guard(m_lock);
    *width = m_width;
    *height = m_height;
    if (!rgba) {
        return true;
    }
    if (strideBytes < m_width * 4) {
        return false;
    }
    const size_t rowBytes = static_cast<size_t>(m_width) * 4u;
    for (int y = 0; y < m_height; ++y) {
        std::memcpy(rgba + static_cast<size_t>(y) * strideBytes, &m_pixels[y * rowBytes], rowBytes);
    }
    return true;
}

bool COffscreenWindow::present(const uint8_t* rgba, int width, int height, int strideBytes) {
    CScopedLock guard(m_lock);
    if (width != m_width || height != m_height) {
        return false;
    }
    const size_t rowBytes = static_cast<size_t>(width) * 4u;
    for (int y = 0; y < height; ++y) {
        std::memcpy(&m_pixels[y * rowBytes], rgba + static_cast<size_t>(y) * strideBytes, rowBytes);
    }
    return true;
}

void COffscreenWindow::presentAt(int x, int y, const uint8_t* rgba, int width, int height,
                                 int strideBytes) {
    CScopedLock guard(m_lock);
    const int left = std::max(x, 0);
    const int top = std::max(y, 0);
    const int right = std::min(x + width, m_width);
    const int bottom = std::min(y + height, m_height);
    if (left >= right || top >= bottom) {
        return;
    }
    const size_t rowBytes = static_cast<size_t>(m_width) * 4u;
    const size_t copyBytes = static_cast<size_t>(right - left) * 4u;
    for (int row = top; row < bottom; ++row) {
        const uint8_t* source =
            rgba + static_cast<size_t>(row - y) * strideBytes + static_cast<size_t>(left - x) * 4u;
        std::memcpy(&m_pixels[row * rowBytes + static_cast<size_t>(left) * 4u], source, copyBytes);
    }
}
