#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayerThread.h"

#include <exception>

#include "Common/Log.h"
#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayer.h"

namespace {

// The player whose loop the current thread runs; null on every other thread.
thread_local const ITavoMediaPlayer* t_loopPlayer = nullptr;

}  // namespace

CTavoMediaPlayerThread::CTavoMediaPlayerThread(CTavoMediaPlayer* player, int32_t loopKind)
    : m_player(player), m_loopKind(loopKind) {
    start(0x20000, nullptr);
}

CTavoMediaPlayerThread::~CTavoMediaPlayerThread() {
    // Wait here, while threadMain is still this class's: the base destructor
    // runs after this object's virtual functions are gone.
    stop();
}

bool CTavoMediaPlayerThread::runsLoopOf(const ITavoMediaPlayer* player) {
    return player && t_loopPlayer == player;
}

void CTavoMediaPlayerThread::threadMain() {
    t_loopPlayer = m_player;
    // An exception that left the loop would end the host's process. The
    // player's state is guarded by RAII locks and owning pointers, so the
    // loop starts over with its next sample; it returns normally only once
    // its running flag is cleared.
    for (;;) {
        try {
            if (m_loopKind == kVideoLoop) {
                m_player->functionVideoThread();
            } else if (m_loopKind == kAudioLoop) {
                m_player->functionAudioThread();
            }
            return;
        } catch (const std::exception& error) {
            RIVO_LOG("loop %d caught %s; going on", m_loopKind, error.what());
        }
    }
}
