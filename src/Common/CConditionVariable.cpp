#include "Common/CConditionVariable.h"

#include <mutex>

namespace RIVO_Common_Player {

// The waits lend the lock's std::mutex to std::condition_variable and take it
// back afterwards; the holder's id is cleared for the time the lock is free.

void CConditionVariable::wait(CLock& lock) {
    std::unique_lock<std::mutex> held(lock.m_mutex, std::adopt_lock);
    lock.m_owner.store(0, std::memory_order_relaxed);
    m_condition.wait(held);
    lock.m_owner.store(pthread_self(), std::memory_order_relaxed);
    held.release();
}

bool CConditionVariable::waitUntil(CLock& lock, std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> held(lock.m_mutex, std::adopt_lock);
    lock.m_owner.store(0, std::memory_order_relaxed);
    const bool woken = m_condition.wait_until(held, deadline) == std::cv_status::no_timeout;
    lock.m_owner.store(pthread_self(), std::memory_order_relaxed);
    held.release();
    return woken;
}

void CConditionVariable::notifyAll() {
    m_condition.notify_all();
}

}  // namespace RIVO_Common_Player
