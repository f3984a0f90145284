#include "Common/CLock.h"

#include <cstdlib>

namespace RIVO_Common_Player {

// The analysis cannot see std::mutex::lock take this capability.
void CLock::lock() NO_THREAD_SAFETY_ANALYSIS {
    m_mutex.lock();
    m_owner.store(pthread_self(), std::memory_order_relaxed);
}

// The analysis cannot see std::mutex::unlock give this capability back.
void CLock::unlock() NO_THREAD_SAFETY_ANALYSIS {
    m_owner.store(0, std::memory_order_relaxed);
    m_mutex.unlock();
}

void CLock::assertHeld() const {
    if (!pthread_equal(m_owner.load(std::memory_order_relaxed), pthread_self())) {
        std::abort();
    }
}

}  // namespace RIVO_Common_Player
