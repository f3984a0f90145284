#include <new>

#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayer.h"
#include "tavoplayer/ITavoMediaPlayer.h"

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
    if (player && *player) {
        delete *player;
    }
}
