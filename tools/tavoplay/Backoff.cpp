#include "Backoff.h"

#include <algorithm>
#include <utility>

Backoff::Backoff(Clock clock) : m_clock(std::move(clock)), m_failures(0), m_dueMs(0) {}

void Backoff::failed() {
    int64_t delay = kFirstDelayMs;
    for (int i = 0; i < m_failures && delay < kLongestDelayMs; ++i) {
        delay *= 2;
    }
    ++m_failures;
    m_dueMs = m_clock() + std::min(delay, kLongestDelayMs);
}

void Backoff::succeeded() {
    m_failures = 0;
    m_dueMs = 0;
}

int64_t Backoff::waitMs() const {
    return std::max<int64_t>(0, m_dueMs - m_clock());
}
