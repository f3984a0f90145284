#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/DSound/LoopingSoundBuffer.h"

// A sound buffer that plays only when a test says so: advance() moves the
// play cursor as a sound card consuming that much sound would, with the real
// cursor, notification, lock and volume behaviour. It records the calls it
// receives, and tests can wait for the writer's Unlock calls.
class ManualSoundBuffer : public LoopingSoundBuffer {
public:
    ManualSoundBuffer() = default;

    // Plays `bytes` (whole sample frames) and answers what was heard.
    std::vector<uint8_t> advance(DWORD bytes);

    // Waits until Unlock has been called `count` times in all; false when
    // that has not happened within a generous bound.
    bool waitForUnlocks(size_t count);
    size_t unlocks() const;
    // The offsets of all Lock calls, in order.
    std::vector<DWORD> lockOffsets() const;
    // The calls received, one entry each: "Play(0,0,1)", "Stop",
    // "SetCurrentPosition(0)", "SetVolume(-602)", "SetNotificationPositions(2)";
    // Lock and Unlock are recorded above instead.
    std::vector<std::string> calls() const;
    // The positions of the last successful SetNotificationPositions.
    std::vector<DSBPOSITIONNOTIFY> positions() const;

    HRESULT Lock(DWORD dwOffset, DWORD dwBytes, LPVOID* ppvAudioPtr1, DWORD* pdwAudioBytes1,
                 LPVOID* ppvAudioPtr2, DWORD* pdwAudioBytes2, DWORD dwFlags) override;
    HRESULT Unlock(LPVOID pvAudioPtr1, DWORD dwAudioBytes1, LPVOID pvAudioPtr2,
                   DWORD dwAudioBytes2) override;
    HRESULT Play(DWORD dwReserved1, DWORD dwPriority, DWORD dwFlags) override;
    HRESULT Stop() override;
    HRESULT SetCurrentPosition(DWORD dwNewPosition) override;
    HRESULT SetVolume(LONG lVolume) override;
    HRESULT SetNotificationPositions(DWORD dwPositionNotifies,
                                     LPCDSBPOSITIONNOTIFY pcPositionNotifies) override;

protected:
    ~ManualSoundBuffer() override = default;

private:
    void record(const std::string& call);

    mutable std::mutex m_recordMutex;
    std::condition_variable m_unlocked;
    // Guarded by m_recordMutex.
    size_t m_unlocks = 0;
    std::vector<DWORD> m_lockOffsets;
    std::vector<std::string> m_calls;
    std::vector<DSBPOSITIONNOTIFY> m_positions;
};
