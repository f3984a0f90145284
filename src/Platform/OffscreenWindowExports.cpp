#include <new>

#include "Platform/X11/COffscreenWindow.h"
#include "tavoplayer/TavoOffscreenWindow.h"

extern "C" void* tavoCreateOffscreenWindow(int width, int height) {
    if (width < 0 || height < 0) {
        return nullptr;
    }
    return new (std::nothrow) COffscreenWindow(width, height);
}

extern "C" int tavoResizeOffscreenWindow(void* window, int width, int height) {
    COffscreenWindow* offscreen = COffscreenWindow::fromHandle(window);
    return offscreen && offscreen->resize(width, height) ? 0 : -1;
}

extern "C" int tavoReadOffscreenWindow(void* window, unsigned char* rgba, int strideBytes,
                                       int* width, int* height) {
    COffscreenWindow* offscreen = COffscreenWindow::fromHandle(window);
    if (!offscreen || !width || !height) {
        return -1;
    }
    return offscreen->read(rgba, strideBytes, width, height) ? 0 : -1;
}

extern "C" void tavoDestroyOffscreenWindow(void* window) {
    delete COffscreenWindow::fromHandle(window);
}
