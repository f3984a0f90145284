#include "support/ManualTimeSource.h"

#include <chrono>
#include <thread>

#include "Common/TimeFunctions.h"

namespace {

// The real time a sleep or a wait takes.
constexpr std::chrono::microseconds kYield(100);

}  // namespace

ManualTimeSource::ManualTimeSource(uint32_t startMs, bool advanceOnSleep)
    : m_now(startMs), m_advanceOnSleep(advanceOnSleep) {
    RIVO_Common_Player::setTimeSourceForTesting(this);
}

ManualTimeSource::~ManualTimeSource() {
    RIVO_Common_Player::setTimeSourceForTesting(nullptr);
}

void ManualTimeSource::sleepMs(uint32_t ms) {
    m_slept.fetch_add(ms);
    if (m_advanceOnSleep.load()) {
        m_now.fetch_add(ms);
    }
    // Give other threads the processor without tying the test to real time.
    std::this_thread::sleep_for(kYield);
}

void ManualTimeSource::waitMs(RIVO_Common_Player::CConditionVariable& condition,
                              RIVO_Common_Player::CLock& lock, uint32_t ms) {
    m_slept.fetch_add(ms);
    if (m_advanceOnSleep.load()) {
        m_now.fetch_add(ms);
    }
    condition.waitUntil(lock, std::chrono::steady_clock::now() + kYield);
}
