#include "Common/CAutoLock.h"

namespace RIVO_Common_Player {

CAutoLock::CAutoLock(rivo_CMutex* mutex) : m_mutex(mutex) {
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
