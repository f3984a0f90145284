#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>

#include "Common/ThreadAnnotations.h"

namespace RIVO_Common_Player {

// Recursive mutex that records its owner and nesting depth. Every critical
// section of the engine takes one through CAutoLock. Recursive at run time,
// but the engine's code never re-takes one it holds: a helper that runs under
// a lock says so (REQUIRES, name ending in _Locked), and clang checks it.
class CAPABILITY("mutex") rivo_CMutex {
public:
    rivo_CMutex();
    virtual ~rivo_CMutex();

    rivo_CMutex(const rivo_CMutex&) = delete;
    rivo_CMutex& operator=(const rivo_CMutex&) = delete;

    void lock() ACQUIRE();
    void unlock() RELEASE();

    // Kernel id of the holding thread; 0 when the mutex is free.
    uint32_t owner() const { return m_owner.load(std::memory_order_relaxed); }
    // How often the owner has entered without leaving.
    uint32_t depth() const { return m_depth.load(std::memory_order_relaxed); }

    // Id of the calling thread as recorded in owner().
    static uint32_t currentThreadId();

private:
    pthread_mutex_t m_mutex;
    // Written only by the holder; atomic so that other threads may look.
    std::atomic<uint32_t> m_owner;
    std::atomic<uint32_t> m_depth;
};

}  // namespace RIVO_Common_Player
