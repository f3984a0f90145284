#include "support/RenderScreen.h"

RenderScreen::RenderScreen(Factory create, int pictureWidth, int pictureHeight, int windowWidth,
                           int windowHeight)
    : m_window(windowWidth, windowHeight), m_renderer(nullptr) {
    create(&m_renderer);
    m_renderer->SetWindow(m_window.handle(), 0);
    m_renderer->SetFormat(static_cast<uint32_t>(pictureWidth), static_cast<uint32_t>(pictureHeight),
                          kPixelFormatYUV420);
}

RenderScreen::~RenderScreen() {
    delete m_renderer;
}
