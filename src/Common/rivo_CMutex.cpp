#include "Common/rivo_CMutex.h"

#include <cstdlib>

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

// The analysis cannot see pthread_mutex_lock take this capability.
void rivo_CMutex::lock() NO_THREAD_SAFETY_ANALYSIS {
    pthread_mutex_lock(&m_mutex);
    ++m_depth;
    m_owner.store(pthread_self(), std::memory_order_relaxed);
}

// The analysis cannot see pthread_mutex_unlock give this capability back.
void rivo_CMutex::unlock() NO_THREAD_SAFETY_ANALYSIS {
    if (--m_depth == 0) {
        m_owner.store(0, std::memory_order_relaxed);
    }
    pthread_mutex_unlock(&m_mutex);
}

void rivo_CMutex::assertHeld() const {
    if (!pthread_equal(m_owner.load(std::memory_order_relaxed), pthread_self())) {
        std::abort();
    }
}

}  // namespace RIVO_Common_Player
