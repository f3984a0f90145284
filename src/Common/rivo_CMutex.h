#pragma once

#include <pthread.h>

#include <atomic>

#include "Common/ThreadAnnotations.h"

namespace RIVO_Common_Player {

// Recursive mutex, the engine's critical section, taken through CAutoLock
// (the platform stand-ins use the non-recursive CLock). Recursive at run
// time, but the engine's code never re-takes one it holds: a helper that runs
// under a lock says so (REQUIRES, name ending in _Locked), and clang checks
// it. The one exception is the GL context's lock of the Direct3D stand-in: a
// resource released under it takes it again.
class CAPABILITY("mutex") rivo_CMutex {
public:
    rivo_CMutex();
    virtual ~rivo_CMutex();

    rivo_CMutex(const rivo_CMutex&) = delete;
    rivo_CMutex& operator=(const rivo_CMutex&) = delete;

    void lock() ACQUIRE();
    void unlock() RELEASE();
    // Tells the analysis that the calling thread holds this lock where it
    // cannot see it taken (a lock reached through another object that shares
    // it); aborts when the thread does not hold it.
    void assertHeld() const ASSERT_CAPABILITY(this);

private:
    pthread_mutex_t m_mutex;
    // The holding thread (0 while free) and how often it has taken the lock.
    // Only the holder writes them, so a thread reading its own id holds it.
    std::atomic<pthread_t> m_owner;
    int m_depth;
};

}  // namespace RIVO_Common_Player
