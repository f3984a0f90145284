#pragma once

#include <cstdint>

#include "Common/rivo_thread.h"

class ITavoMediaPlayer;
class CTavoMediaPlayer;

// Runs one of the player's loops on its own thread from the moment it is
// constructed; destroying it waits for the loop to return, so the player
// clears the loop's running flag first.
class CTavoMediaPlayerThread : public RIVO_Common_Player::rivo_thread {
public:
    enum LoopKind : int32_t { kVideoLoop = 2, kAudioLoop = 3 };

    CTavoMediaPlayerThread(CTavoMediaPlayer* player, int32_t loopKind);
    ~CTavoMediaPlayerThread() override;

    // True on a thread that runs one of the player's loops, that is inside a
    // host callback when the host calls the player: such a thread must never
    // wait for the player's loops to end.
    static bool runsLoopOf(const ITavoMediaPlayer* player);

protected:
    void threadMain() override;

private:
    CTavoMediaPlayer* m_player;  // not owned
    int32_t m_loopKind;
};
