#pragma once

#include "Common/rivo_CMutex.h"

namespace RIVO_Common_Player {

// Holds a rivo_CMutex for the lifetime of a block. A null mutex makes the
// block run unlocked.
class SCOPED_CAPABILITY CAutoLock {
public:
    explicit CAutoLock(rivo_CMutex* mutex) ACQUIRE(mutex);
    ~CAutoLock() RELEASE();

    CAutoLock(const CAutoLock&) = delete;
    CAutoLock& operator=(const CAutoLock&) = delete;

private:
    rivo_CMutex* m_mutex;
};

}  // namespace RIVO_Common_Player
