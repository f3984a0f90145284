#pragma once

#include <cstdint>

#include "Common/rivo_thread.h"

class DSoundRender;

// The feeding thread of a DSoundRender: while the renderer's feeding flag is
// set it waits for the sound buffer's notifications and moves one block per
// notification (DSoundRender::FillNextBlock). Embedded in its renderer.
class DSoundAudioRunner : public RIVO_Common_Player::rivo_thread {
public:
    DSoundAudioRunner();
    // Stops feeding, so the thread has ended before the base class is gone.
    ~DSoundAudioRunner() override;

    // Stores the renderer whose flag and blocks the thread works on; 0.
    uint32_t SetOwner(DSoundRender* owner);
    // Sets the owner's feeding flag and starts the thread; 0 (nothing done)
    // when it is already feeding, 1 without an owner or when no thread could
    // be started.
    uint32_t StartFeeding();
    // Clears the owner's feeding flag and waits for the thread to end, which
    // takes at most one notification wait; 0 (nothing done) when it is not
    // feeding, 1 without an owner.
    uint32_t StopFeeding();

protected:
    void threadMain() override;

private:
    DSoundRender* m_owner;
};
