#include "Common/CScopedLock.h"

namespace RIVO_Common_Player {

CScopedLock::CScopedLock(CLock& lock) : m_lock(lock) {
    lock.lock();
}

// The analysis knows the lock as the constructor's argument, not as m_lock.
CScopedLock::~CScopedLock() NO_THREAD_SAFETY_ANALYSIS {
    m_lock.unlock();
}

}  // namespace RIVO_Common_Player
