#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "Platform/DSound/LoopingSoundBuffer.h"

// A sound buffer that plays only when a test says so: advance() moves the
// play cursor as a sound card consuming that much sound would, with the real
// cursor, notification, lock and volume behaviour. Tests can wait for the
// writer's Unlock calls.
class ManualSoundBuffer : public LoopingSoundBuffer {
public:
    ManualSoundBuffer() = default;

    // Plays `bytes` (whole sample frames) and answers what was heard.
    std::vector<uint8_t> advance(DWORD bytes);

    // Waits until Unlock has been called `count` times in all; false when
    // that has not happened within a generous bound.
    bool waitForUnlocks(size_t count);
    size_t unlocks() const;

    HRESULT Unlock(LPVOID pvAudioPtr1, DWORD dwAudioBytes1, LPVOID pvAudioPtr2,
                   DWORD dwAudioBytes2) override;

protected:
    ~ManualSoundBuffer() override = default;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_unlocked;
    size_t m_unlocks = 0;  // guarded by m_mutex
};
