#pragma once

#include <cstdint>
#include <functional>

// When to try a lost connection again: 1 s after the first failure, then
// twice as long after each further one, up to 30 s; a working connection
// starts the schedule afresh. Not thread-safe.
class Backoff {
public:
    // Milliseconds of a steady clock.
    using Clock = std::function<int64_t()>;

    static constexpr int64_t kFirstDelayMs = 1000;
    static constexpr int64_t kLongestDelayMs = 30000;

    explicit Backoff(Clock clock);

    // An attempt failed or a connection ended: the next attempt waits the
    // next delay of the schedule from now.
    void failed();
    // A connection delivers: the next failure waits the first delay again.
    void succeeded();
    // Milliseconds until the next attempt is due; 0 when it is due now.
    int64_t waitMs() const;
    // Failures since the last success.
    int failures() const { return m_failures; }

private:
    Clock m_clock;
    int m_failures;
    int64_t m_dueMs;
};
