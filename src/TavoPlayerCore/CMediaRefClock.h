#pragma once

#include <atomic>
#include <cstdint>

#include "Common/ThreadAnnotations.h"
#include "Common/rivo_CMutex.h"

// The playback clock. Between timestamp updates it runs on timeMs() scaled by
// the playback speed from an anchor; it snaps back onto the reported picture
// times only when they drift apart by more than the tolerance. Beside it runs
// a simpler audio position extrapolated on timeMs(). While a sound device
// reports the position it plays, the clock at normal speed is that position.
//
// Called concurrently by the video loop, the audio loop and the host's
// command thread. Every state-changing operation and GetTime, GetAudioTime and
// GetSpeed hold m_lock; GetMode, HasRefTime and IsExternal read single words.
// The lock is innermost in the engine's lock order.
class CMediaRefClock {
public:
    CMediaRefClock();
    virtual ~CMediaRefClock();

    virtual int32_t SetMode(uint32_t mode);
    virtual uint32_t GetMode();
    virtual int32_t Run();
    virtual int32_t Pause();
    virtual int32_t Stop();
    virtual int32_t InitRefTime(uint32_t t);
    virtual int32_t Reset();
    // 0 in mode 1; 1 (and no change) in any other mode.
    virtual int32_t SetMaxDrift(uint32_t ms);
    virtual int32_t SetFreeRun(uint8_t value);
    virtual int32_t SetFreeze(uint8_t value);
    // Reports the time of a picture handed to the renderer.
    virtual void UpdateRefTime(uint32_t t);
    // Reports the audio position t at the current system time.
    virtual void UpdateAudioTime(uint32_t t);
    // Reports the position t that a sound device plays at the current system
    // time; it is also the audio position. While such reports keep coming
    // (each within kHeardFreshMs of the last), the clock at speed 1 follows
    // them.
    virtual void UpdateHeardTime(uint32_t t);
    virtual void SetRefTime(uint32_t t);
    // Media time in ms; mode 2 always answers 0. The flag does not change the result.
    virtual uint32_t GetTime(uint8_t flag);
    // The audio position extrapolated to now; 0 before the first UpdateAudioTime.
    virtual uint32_t GetAudioTime();
    virtual bool HasRefTime();
    virtual bool IsExternal();
    virtual uint32_t GetElapsed();
    // False (and no change) when speed equals the current speed.
    virtual bool SetSpeed(float speed);
    virtual float GetSpeed();
    virtual uint32_t GetAltTime(uint8_t flag);
    virtual uint32_t ComputeTime(uint8_t flag);
    // True while a sound device reports the position it plays, each report
    // within kHeardFreshMs of the last (at any speed).
    virtual bool HearsSound();

    // True when two stream times lie more than kTimeJumpMs apart, counted
    // without wrapping: a camera's time stamps jumping forward or back, a
    // restart near zero and the wrap at 2^32 all count. Such a step is no
    // drift to follow or correct: the clock starts afresh on the new time.
    static bool IsTimeJump(uint32_t a, uint32_t b);
    static constexpr uint32_t kTimeJumpMs = 5000;
    static constexpr uint32_t kHeardFreshMs = 200;

private:
    void dropAnchor_Locked() REQUIRES(m_lock);
    uint32_t followHeard_Locked(uint32_t now, uint32_t t) REQUIRES(m_lock);
    uint32_t computeTime_Locked() REQUIRES(m_lock);

    RIVO_Common_Player::rivo_CMutex m_lock;
    // Written under m_lock; the words read without it by GetMode and
    // HasRefTime are atomic.
    std::atomic<uint32_t> m_uMode;
    std::atomic<uint32_t> m_uRefCount;
    uint32_t m_uState GUARDED_BY(m_lock);
    uint32_t m_uCurTime GUARDED_BY(m_lock);
    uint32_t m_uMaxDrift GUARDED_BY(m_lock);
    uint8_t m_bFreeze GUARDED_BY(m_lock);
    uint8_t m_bFreeRun GUARDED_BY(m_lock);
    uint32_t m_uRefTime GUARDED_BY(m_lock);
    uint32_t m_uBaseSys GUARDED_BY(m_lock);
    uint32_t m_uAnchorMedia GUARDED_BY(m_lock);
    uint32_t m_uAnchorSys GUARDED_BY(m_lock);
    uint32_t m_uAudioSys GUARDED_BY(m_lock);
    uint32_t m_uAudioTime GUARDED_BY(m_lock);
    uint32_t m_uHeardSys GUARDED_BY(m_lock);  // 0: no device report to follow
    uint32_t m_uHeardTime GUARDED_BY(m_lock);
    uint32_t m_uFirstRef GUARDED_BY(m_lock);
    float m_fSpeed GUARDED_BY(m_lock);
};
