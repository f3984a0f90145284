#include "Common/CAutoLock.h"

namespace RIVO_Common_Player {

// A null mutex takes nothing, which the analysis cannot follow.
CAutoLock::CAutoLock(rivo_CMutex* mutex) NO_THREAD_SAFETY_ANALYSIS : m_mutex(mutex) {
    if (m_mutex) {
        m_mutex->lock();
    }
}

CAutoLock::~CAutoLock() {
    if (m_mutex) {
        m_mutex->unlock();
    }
}

}  // namespace RIVO_Common_Player
