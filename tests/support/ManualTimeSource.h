#pragma once

#include <atomic>
#include <cstdint>

#include "Common/ITimeSource.h"

// A time source that only moves when told to. Installed for the lifetime of
// the object (the real source comes back on destruction).
//
// sleepMs() yields the calling thread briefly in real time; with
// advanceOnSleep set, it also moves the manual time forward by the requested
// milliseconds, so that code that polls with sleeps makes progress on its own.
// waitMs counts and moves the time the same way.
class ManualTimeSource : public RIVO_Common_Player::ITimeSource {
public:
    explicit ManualTimeSource(uint32_t startMs = 1000, bool advanceOnSleep = false);
    ~ManualTimeSource() override;

    uint32_t timeMs() override { return m_now.load(); }
    uint32_t tickMs() override { return m_now.load(); }
    void sleepMs(uint32_t ms) override;
    // Counted and moved like sleepMs; the real wait is as brief, and a
    // notification ends it.
    void waitMs(RIVO_Common_Player::CConditionVariable& condition, RIVO_Common_Player::CLock& lock,
                uint32_t ms) override REQUIRES(lock);

    void set(uint32_t ms) { m_now.store(ms); }
    void advance(uint32_t ms) { m_now.fetch_add(ms); }
    void setAdvanceOnSleep(bool on) { m_advanceOnSleep.store(on); }
    // Total milliseconds requested through sleepMs() so far.
    uint64_t sleptMs() const { return m_slept.load(); }

private:
    std::atomic<uint32_t> m_now;
    std::atomic<bool> m_advanceOnSleep;
    std::atomic<uint64_t> m_slept{0};
};
