#pragma once

#include <cstdint>

#include "Common/CConditionVariable.h"

namespace RIVO_Common_Player {

// The process-wide source of time and sleep behind timeMs(), tickMs() and
// sleepMs(). The real source reads CLOCK_MONOTONIC and sleeps with nanosleep;
// tests install a manual source so that clock and pacing logic run exactly.
// Every operation may be called from any thread at any time.
class ITimeSource {
public:
    virtual ~ITimeSource() = default;
    // Milliseconds of the multimedia timer; wraps at 2^32.
    virtual uint32_t timeMs() = 0;
    // Milliseconds since system start; wraps at 2^32.
    virtual uint32_t tickMs() = 0;
    // Suspends the calling thread for about ms milliseconds of this source's time.
    virtual void sleepMs(uint32_t ms) = 0;
    // Waits on condition, whose lock the caller holds, for about ms
    // milliseconds of this source's time; a notification (or a spurious
    // wake-up) ends the wait earlier, so callers test their condition after it.
    virtual void waitMs(CConditionVariable& condition, CLock& lock, uint32_t ms) REQUIRES(lock) = 0;
};

}  // namespace RIVO_Common_Player
