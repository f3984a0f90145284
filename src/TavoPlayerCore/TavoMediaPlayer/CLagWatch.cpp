#include "TavoPlayerCore/TavoMediaPlayer/CLagWatch.h"

CLagWatch::CLagWatch(uint32_t highMs, uint32_t lowMs, uint32_t stayMs)
    : m_highMs(highMs),
      m_lowMs(lowMs),
      m_stayMs(stayMs),
      m_speedingUp(false),
      m_above(false),
      m_aboveSince(0) {}

bool CLagWatch::update(uint32_t lagMs, uint32_t nowMs) {
    if (lagMs <= m_lowMs) {
        m_speedingUp = false;
    }
    if (lagMs <= m_highMs) {
        m_above = false;
    } else if (!m_above) {
        m_above = true;
        m_aboveSince = nowMs;
    } else if (nowMs - m_aboveSince >= m_stayMs) {
        m_speedingUp = true;
    }
    return m_speedingUp;
}

void CLagWatch::reset() {
    m_speedingUp = false;
    m_above = false;
    m_aboveSince = 0;
}
