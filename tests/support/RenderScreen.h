#pragma once

#include "TavoPlayerCore/VideoRender/IVideoRender.h"
#include "support/OffscreenTestWindow.h"

// A renderer drawing into an offscreen window of its own, set up as the
// player sets one up: window, then the picture's format (YUV 4:2:0). Both go
// with the object.
class RenderScreen {
public:
    using Factory = bool (*)(IVideoRender**);

    RenderScreen(Factory create, int pictureWidth, int pictureHeight, int windowWidth,
                 int windowHeight);
    ~RenderScreen();

    RenderScreen(const RenderScreen&) = delete;
    RenderScreen& operator=(const RenderScreen&) = delete;

    IVideoRender* renderer() const { return m_renderer; }
    const OffscreenTestWindow& window() const { return m_window; }

private:
    OffscreenTestWindow m_window;
    IVideoRender* m_renderer;
};
