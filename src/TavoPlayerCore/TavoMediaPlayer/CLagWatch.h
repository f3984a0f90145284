#pragma once

#include <cstdint>

// Watches how far a live stream's player lags behind the host's newest
// sample, with hysteresis: a lag that has stayed above the high mark for the
// stay time asks for a faster pace, until it is down to the low mark. Brief
// peaks (a picture that took long to decode, a burst from the network) do
// not count. Used by one loop; not thread-safe.
class CLagWatch {
public:
    CLagWatch(uint32_t highMs, uint32_t lowMs, uint32_t stayMs);

    // The lag seen at nowMs; true while the player should go faster.
    bool update(uint32_t lagMs, uint32_t nowMs);
    // Forgets what was seen: nothing to catch up.
    void reset();

private:
    const uint32_t m_highMs;
    const uint32_t m_lowMs;
    const uint32_t m_stayMs;
    bool m_speedingUp;
    bool m_above;
    uint32_t m_aboveSince;
};
