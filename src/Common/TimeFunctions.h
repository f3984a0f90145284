#pragma once

#include <cstdint>

#include "Common/ITimeSource.h"

namespace RIVO_Common_Player {

// Suspends the calling thread for ms milliseconds.
void sleepMs(uint32_t ms);
// Waits on condition under lock for ms milliseconds at most (see ITimeSource):
// a wait that a notification can end early, where sleepMs cannot.
void waitMs(CConditionVariable& condition, CLock& lock, uint32_t ms) REQUIRES(lock);
// Milliseconds of the multimedia timer: the time base of the reference clock,
// the audio loop and the decoders. Unsigned 32-bit, wraps after ~49.7 days.
uint32_t timeMs();
// Milliseconds since system start; stamps MediaSample::ulTick.
uint32_t tickMs();

// Replaces the process-wide time source; null restores the real one. The
// caller keeps ownership and must keep the source alive until it is replaced.
// Meant for tests and benchmarks: install before any thread uses the clock.
void setTimeSourceForTesting(ITimeSource* source);

}  // namespace RIVO_Common_Player
