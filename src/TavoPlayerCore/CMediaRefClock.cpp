#include "TavoPlayerCore/CMediaRefClock.h"

#include <cmath>

#include "Common/CAutoLock.h"
#include "Common/Log.h"
#include "Common/TimeFunctions.h"

using RIVO_Common_Player::CAutoLock;
using RIVO_Common_Player::timeMs;

namespace {

constexpr uint32_t kStateRunning = 0;
constexpr uint32_t kStatePaused = 1;
constexpr uint32_t kStateStopped = 2;
constexpr uint32_t kAltTimeMode = 2;
constexpr uint32_t kDriftCheckOff = 0xFFFFFFFFu;

// The low 32 bits of value truncated toward zero. The speed comes from the
// host unchecked, so value may be negative, huge or not a number: a plain cast
// would be undefined for those; a value that is not finite gives 0.
uint32_t low32Bits(double value) {
    if (!std::isfinite(value)) {
        return 0;
    }
    const double wrapped = std::fmod(std::trunc(value), 4294967296.0);
    return static_cast<uint32_t>(static_cast<int64_t>(wrapped));
}

// base + elapsed x speed, computed in double and cut to the low 32 bits.
uint32_t scaledSum(uint32_t base, uint32_t elapsed, float speed) {
    return low32Bits(static_cast<double>(base) + static_cast<double>(elapsed) * speed);
}

}  // namespace

CMediaRefClock::CMediaRefClock()
    : m_uMode(1),
      m_uRefCount(0),
      m_uState(kStateRunning),
      m_uCurTime(0),
      m_uMaxDrift(200),
      m_bFreeze(0),
      m_bFreeRun(0),
      m_uRefTime(0),
      m_uBaseSys(0),
      m_uAnchorMedia(0),
      m_uAnchorSys(0),
      m_uAudioSys(0),
      m_uAudioTime(0),
      m_uHeardSys(0),
      m_uHeardTime(0),
      m_uFirstRef(0),
      m_fSpeed(1.0f) {}

CMediaRefClock::~CMediaRefClock() = default;

void CMediaRefClock::dropAnchor_Locked() {
    m_uAnchorMedia = 0;
    m_uAnchorSys = 0;
    m_uHeardSys = 0;
}

int32_t CMediaRefClock::SetMode(uint32_t mode) {
    CAutoLock lock(&m_lock);
    m_uMode = mode;
    return 0;
}

uint32_t CMediaRefClock::GetMode() {
    return m_uMode;
}

int32_t CMediaRefClock::Run() {
    CAutoLock lock(&m_lock);
    m_uState = kStateRunning;
    return 0;
}

int32_t CMediaRefClock::Pause() {
    CAutoLock lock(&m_lock);
    m_uState = kStatePaused;
    m_uBaseSys = 0;
    dropAnchor_Locked();
    return 0;
}

int32_t CMediaRefClock::Stop() {
    CAutoLock lock(&m_lock);
    m_uState = kStateStopped;
    m_uBaseSys = 0;
    dropAnchor_Locked();
    return 0;
}

int32_t CMediaRefClock::InitRefTime(uint32_t t) {
    CAutoLock lock(&m_lock);
    m_uRefTime = t;
    m_uRefCount = 0;
    m_uBaseSys = 0;
    dropAnchor_Locked();
    return 0;
}

int32_t CMediaRefClock::Reset() {
    CAutoLock lock(&m_lock);
    m_uRefTime = 0;
    m_uRefCount = 0;
    m_uBaseSys = 0;
    dropAnchor_Locked();
    m_fSpeed = 1.0f;
    m_uAudioTime = 0;
    m_uAudioSys = 0;
    RIVO_LOG("cmediarefclock reset!");
    return 0;
}

int32_t CMediaRefClock::SetMaxDrift(uint32_t ms) {
    CAutoLock lock(&m_lock);
    if (m_uMode != 1) {
        return 1;
    }
    m_uMaxDrift = ms;
    return 0;
}

int32_t CMediaRefClock::SetFreeRun(uint8_t value) {
    CAutoLock lock(&m_lock);
    m_bFreeRun = value;
    return 0;
}

int32_t CMediaRefClock::SetFreeze(uint8_t value) {
    CAutoLock lock(&m_lock);
    m_bFreeze = value;
    return 0;
}

void CMediaRefClock::UpdateRefTime(uint32_t t) {
    CAutoLock lock(&m_lock);
    m_uBaseSys = 0;
    // The drift check would follow a jump forward at the next reading but a
    // jump back only once the anchor is older than the tolerance, and would
    // run the clock on from the old times meanwhile. (Without the drift check
    // the clock runs on its own and ignores the times altogether.)
    if (m_uMaxDrift != kDriftCheckOff && IsTimeJump(t, m_uRefTime)) {
        dropAnchor_Locked();
    }
    m_uRefTime = t;
    m_uRefCount = m_uRefCount + 1;
}

void CMediaRefClock::UpdateAudioTime(uint32_t t) {
    CAutoLock lock(&m_lock);
    m_uAudioSys = timeMs();
    m_uAudioTime = t;
}

void CMediaRefClock::UpdateHeardTime(uint32_t t) {
    CAutoLock lock(&m_lock);
    m_uAudioSys = timeMs();
    m_uAudioTime = t;
    m_uHeardSys = m_uAudioSys;
    m_uHeardTime = t;
}

void CMediaRefClock::SetRefTime(uint32_t t) {
    CAutoLock lock(&m_lock);
    m_uBaseSys = 0;
    dropAnchor_Locked();
    m_uRefTime = t;
}

uint32_t CMediaRefClock::GetTime(uint8_t flag) {
    CAutoLock lock(&m_lock);
    return m_uMode == kAltTimeMode ? GetAltTime(flag) : computeTime_Locked();
}

uint32_t CMediaRefClock::GetAudioTime() {
    CAutoLock lock(&m_lock);
    if (m_uAudioSys == 0) {
        return 0;
    }
    return timeMs() - m_uAudioSys + m_uAudioTime;
}

bool CMediaRefClock::HasRefTime() {
    return m_uRefCount > 0;
}

bool CMediaRefClock::IsExternal() {
    return false;
}

uint32_t CMediaRefClock::GetElapsed() {
    const uint32_t t = GetTime(0);
    CAutoLock lock(&m_lock);
    return t > m_uFirstRef ? t - m_uFirstRef : 0;
}

bool CMediaRefClock::SetSpeed(float speed) {
    CAutoLock lock(&m_lock);
    if (speed == m_fSpeed) {
        return false;
    }
    m_fSpeed = speed;
    m_uBaseSys = 0;
    dropAnchor_Locked();
    return true;
}

float CMediaRefClock::GetSpeed() {
    CAutoLock lock(&m_lock);
    return m_fSpeed;
}

uint32_t CMediaRefClock::GetAltTime(uint8_t) {
    return 0;
}

bool CMediaRefClock::IsTimeJump(uint32_t a, uint32_t b) {
    return (a > b ? a - b : b - a) > kTimeJumpMs;
}

uint32_t CMediaRefClock::ComputeTime(uint8_t) {
    CAutoLock lock(&m_lock);
    return computeTime_Locked();
}

bool CMediaRefClock::HearsSound() {
    CAutoLock lock(&m_lock);
    return m_uHeardSys != 0 && timeMs() - m_uHeardSys <= kHeardFreshMs;
}

uint32_t CMediaRefClock::computeTime_Locked() {
    if (m_uState == kStateStopped) {
        return 0;
    }
    if (!m_bFreeRun) {
        if (m_uRefCount == 0) {
            m_uCurTime = m_uRefTime;
            return m_uCurTime;
        }
        if (m_uRefCount == 1) {
            m_uFirstRef = m_uRefTime;
        }
    } else if (m_bFreeze) {
        return m_uCurTime;
    }
    if (m_uState == kStatePaused) {
        return m_uCurTime;
    }
    const uint32_t now = timeMs();
    if (m_uBaseSys == 0) {
        m_uBaseSys = now;
    }
    if (m_uAnchorSys == 0) {
        m_uAnchorSys = m_uBaseSys;
        m_uAnchorMedia = m_uRefTime;
    }
    if (m_uMaxDrift == kDriftCheckOff) {
        m_uCurTime = now - m_uAnchorSys + m_uAnchorMedia;
        return m_uCurTime;
    }
    const uint32_t advance = m_uRefTime > m_uAnchorMedia ? m_uRefTime - m_uAnchorMedia : 0;
    const uint32_t expected =
        low32Bits(static_cast<double>(m_uBaseSys - m_uAnchorSys) * static_cast<double>(m_fSpeed));
    if (advance > expected + m_uMaxDrift || advance + m_uMaxDrift < expected) {
        const uint32_t heardSys = m_uHeardSys;
        dropAnchor_Locked();
        m_uHeardSys = heardSys;
        m_uCurTime = scaledSum(m_uRefTime, now - m_uBaseSys, m_fSpeed);
    } else {
        m_uCurTime = scaledSum(m_uAnchorMedia, now - m_uAnchorSys, m_fSpeed);
    }
    m_uCurTime = followHeard_Locked(now, m_uCurTime);
    return m_uCurTime;
}

// The sound device's position, when it reports one, is the clock: pictures
// then come with their sound whatever pace the device keeps against the
// system clock and however late the first picture reached the screen.
// (Deliberately beyond the clock's first design, which ran on the system
// clock alone and let the sound drift from it up to the tolerance: sound
// and picture stood up to 200 ms apart.) Not at another speed, where the
// sound cannot keep pace, nor across a jump in the stream's times, where
// the pictures restart the clock.
uint32_t CMediaRefClock::followHeard_Locked(uint32_t now, uint32_t t) {
    if (m_uHeardSys == 0 || now - m_uHeardSys > kHeardFreshMs || m_fSpeed != 1.0f) {
        return t;
    }
    const uint32_t heard = m_uHeardTime + (now - m_uHeardSys);
    if (IsTimeJump(heard, t)) {
        return t;
    }
    // Anchored on it, so that the clock runs on from there when the reports stop.
    m_uAnchorMedia = heard;
    m_uAnchorSys = now;
    m_uBaseSys = now;
    return heard;
}
