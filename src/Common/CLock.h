#pragma once

#include <pthread.h>

#include <atomic>
#include <mutex>

#include "Common/ThreadAnnotations.h"

namespace RIVO_Common_Player {

class CConditionVariable;

// A non-recursive mutex that clang's analysis follows: CScopedLock holds one
// for a block, CConditionVariable waits on one. A thread that takes it twice
// deadlocks, so a helper that runs under it says so (REQUIRES, name ending
// in _Locked) instead of taking it again. Constant-initialised, so a
// namespace-scope lock is usable from any static initialiser.
class CAPABILITY("mutex") CLock {
public:
    constexpr CLock() = default;

    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;

    void lock() ACQUIRE();
    void unlock() RELEASE();
    // Tells the analysis that the calling thread holds this lock where it
    // cannot see it taken (a scope of an X11 GL context holds the X lock);
    // aborts when the thread does not hold it.
    void assertHeld() const ASSERT_CAPABILITY(this);

private:
    friend class CConditionVariable;

    std::mutex m_mutex;
    // The holding thread, 0 while the lock is free. Only the holder writes
    // its own id, so a thread reading its own id knows it holds the lock.
    std::atomic<pthread_t> m_owner{0};
};

}  // namespace RIVO_Common_Player
