#include "support/OffscreenTestWindow.h"

#include <utility>

#include "simcam/LumaView.h"
#include "simcam/TestPattern.h"
#include "tavoplayer/TavoOffscreenWindow.h"

OffscreenTestWindow::OffscreenTestWindow(int width, int height)
    : m_handle(tavoCreateOffscreenWindow(width, height)) {}

OffscreenTestWindow::~OffscreenTestWindow() {
    tavoDestroyOffscreenWindow(m_handle);
}

OffscreenTestWindow::OffscreenTestWindow(OffscreenTestWindow&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)) {}

OffscreenTestWindow& OffscreenTestWindow::operator=(OffscreenTestWindow&& other) noexcept {
    std::swap(m_handle, other.m_handle);
    return *this;
}

std::vector<uint8_t> OffscreenTestWindow::read(int* width, int* height) const {
    std::vector<uint8_t> pixels;
    if (tavoReadOffscreenWindow(m_handle, nullptr, 0, width, height) != 0) {
        return pixels;
    }
    pixels.resize(static_cast<size_t>(*width) * *height * 4);
    tavoReadOffscreenWindow(m_handle, pixels.data(), *width * 4, width, height);
    return pixels;
}

bool OffscreenTestWindow::isBlack() const {
    int width = 0;
    int height = 0;
    const std::vector<uint8_t> rgba = read(&width, &height);
    for (size_t i = 0; i < rgba.size(); i += 4) {
        if (rgba[i] != 0 || rgba[i + 1] != 0 || rgba[i + 2] != 0) {
            return false;
        }
    }
    return true;
}

OffscreenTestWindow::Pattern OffscreenTestWindow::pattern() const {
    int width = 0;
    int height = 0;
    const std::vector<uint8_t> rgba = read(&width, &height);
    if (rgba.empty()) {
        return Pattern{-1, false};
    }
    const simcam::LumaView view =
        simcam::LumaView::fromRgb(rgba.data(), width * 4, width, height, 4, 0, 1, 2);
    return Pattern{simcam::TestPattern::readNumber(view), simcam::TestPattern::isFlash(view)};
}
