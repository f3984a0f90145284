#pragma once

#include "Common/CLock.h"

namespace RIVO_Common_Player {

// Holds a CLock for the lifetime of a block.
class SCOPED_CAPABILITY CScopedLock {
public:
    explicit CScopedLock(CLock& lock) ACQUIRE(lock);
    ~CScopedLock() RELEASE();

    CScopedLock(const CScopedLock&) = delete;
    CScopedLock& operator=(const CScopedLock&) = delete;

private:
    CLock& m_lock;
};

}  // namespace RIVO_Common_Player
