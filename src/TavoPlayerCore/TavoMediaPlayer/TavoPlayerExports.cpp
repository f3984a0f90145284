#include <new>

#include "Common/Log.h"

#include "Platform/X11/COffscreenWindow.h"
#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayer.h"
#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayerThread.h"
#include "tavoplayer/ITavoMediaPlayer.h"
#include "tavoplayer/TavoOffscreenWindow.h"

// Every C entry point the shared library offers its hosts: the player and
// the offscreen windows a host can give it instead of an X11 window.

extern "C" bool createMediaPlayerInstance(HostContext* hostContext, ITavoMediaPlayer** player) {
    if (!player) {
        return false;
    }
    // The player allocates its clock while it is constructed, so running out of
    // memory may surface inside the constructor too; no exception may reach
    // the host through this C entry point.
    CTavoMediaPlayer* created = nullptr;
    try {
        created = new CTavoMediaPlayer();
    } catch (const std::bad_alloc&) {
        return false;
    }
    created->setHostContext(hostContext);
    *player = created;
    return true;
}

extern "C" void destroyMediaPlayerInstance(ITavoMediaPlayer** player) {
    if (!player || !*player) {
        return;
    }
    if (CTavoMediaPlayerThread::runsLoopOf(*player)) {
        // Called from a host callback: the destructor waits for both loops,
        // and the loop making the callback cannot end before the callback
        // returns. Refused instead: the loops are told to end, and the host
        // destroys the player from one of its own threads.
        RIVO_LOG("destroy refused inside a callback of the player, its loops stop!");
        (*player)->stop();
        return;
    }
    delete *player;
}

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
