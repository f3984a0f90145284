#pragma once

#include <pthread.h>

#include "Common/ThreadAnnotations.h"

namespace RIVO_Common_Player {

// Recursive mutex. Every critical section of the engine takes one through
// CAutoLock. Recursive at run time, but the engine's code never re-takes one
// it holds: a helper that runs under a lock says so (REQUIRES, name ending in
// _Locked), and clang checks it.
class CAPABILITY("mutex") rivo_CMutex {
public:
    rivo_CMutex();
    virtual ~rivo_CMutex();

    rivo_CMutex(const rivo_CMutex&) = delete;
    rivo_CMutex& operator=(const rivo_CMutex&) = delete;

    void lock() ACQUIRE();
    void unlock() RELEASE();

private:
    pthread_mutex_t m_mutex;
};

}  // namespace RIVO_Common_Player
