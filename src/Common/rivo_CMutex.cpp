#include "Common/rivo_CMutex.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace RIVO_Common_Player {

rivo_CMutex::rivo_CMutex() : m_owner(0), m_depth(0) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&m_mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}

rivo_CMutex::~rivo_CMutex() {
    pthread_mutex_destroy(&m_mutex);
}

uint32_t rivo_CMutex::currentThreadId() {
    return static_cast<uint32_t>(syscall(SYS_gettid));
}

// The analysis cannot see pthread_mutex_lock take this capability.
void rivo_CMutex::lock() NO_THREAD_SAFETY_ANALYSIS {
    const uint32_t id = currentThreadId();
    pthread_mutex_lock(&m_mutex);
    if (m_depth.fetch_add(1, std::memory_order_relaxed) == 0) {
        m_owner.store(id, std::memory_order_relaxed);
    }
}

// The analysis cannot see pthread_mutex_unlock give this capability back.
void rivo_CMutex::unlock() NO_THREAD_SAFETY_ANALYSIS {
    if (m_depth.fetch_sub(1, std::memory_order_relaxed) == 1) {
        m_owner.store(0, std::memory_order_relaxed);
    }
    pthread_mutex_unlock(&m_mutex);
}

}  // namespace RIVO_Common_Player
