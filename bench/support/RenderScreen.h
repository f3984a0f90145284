#pragma once

#include "TavoPlayerCore/VideoRender/IVideoRender.h"
#include "support/BenchPicture.h"

// A renderer drawing into an offscreen window of its own, set up as the
// player sets one up: window, then the picture's format. Both go with the
// object.
class RenderScreen {
public:
    using Factory = bool (*)(IVideoRender**);

    RenderScreen(Factory create, const BenchPicture& picture, int windowWidth, int windowHeight);
    ~RenderScreen();

    RenderScreen(const RenderScreen&) = delete;
    RenderScreen& operator=(const RenderScreen&) = delete;

    IVideoRender* renderer() const { return m_renderer; }

private:
    HWND m_window;
    IVideoRender* m_renderer;
};
