#include "support/RenderScreen.h"

#include "tavoplayer/TavoOffscreenWindow.h"

RenderScreen::RenderScreen(Factory create, const BenchPicture& picture, int windowWidth,
                           int windowHeight)
    : m_window(tavoCreateOffscreenWindow(windowWidth, windowHeight)), m_renderer(nullptr) {
    create(&m_renderer);
    m_renderer->SetWindow(m_window, 0);
    m_renderer->SetFormat(static_cast<uint32_t>(picture.width()),
                          static_cast<uint32_t>(picture.height()), kPixelFormatYUV420);
}

RenderScreen::~RenderScreen() {
    delete m_renderer;
    tavoDestroyOffscreenWindow(m_window);
}
