#include <new>

#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayer.h"
#include "tavoplayer/ITavoMediaPlayer.h"

extern "C" bool createMediaPlayerInstance(HostContext* hostContext, ITavoMediaPlayer** player) {
    CTavoMediaPlayer* created = new (std::nothrow) CTavoMediaPlayer();
    if (!created) {
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
