#pragma once

#include <chrono>
#include <condition_variable>

#include "Common/CLock.h"

namespace RIVO_Common_Player {

// Lets threads wait for a change that others make under a CLock. A wait
// gives the lock back while it sleeps and holds it again when it returns; it
// may return without a notification, so callers test their condition in a
// loop.
class CConditionVariable {
public:
    CConditionVariable() = default;

    CConditionVariable(const CConditionVariable&) = delete;
    CConditionVariable& operator=(const CConditionVariable&) = delete;

    void wait(CLock& lock) REQUIRES(lock);
    // Waits until deadline at the latest: false when it passed.
    bool waitUntil(CLock& lock, std::chrono::steady_clock::time_point deadline) REQUIRES(lock);
    void notifyAll();

private:
    std::condition_variable m_condition;
};

}  // namespace RIVO_Common_Player
