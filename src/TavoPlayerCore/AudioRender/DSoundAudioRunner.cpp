#include "TavoPlayerCore/AudioRender/DSoundAudioRunner.h"

#include "Common/TimeFunctions.h"
#include "TavoPlayerCore/AudioRender/DSoundRender.h"

DSoundAudioRunner::DSoundAudioRunner() : m_owner(nullptr) {}

DSoundAudioRunner::~DSoundAudioRunner() {
    StopFeeding();
    stop();
}

uint32_t DSoundAudioRunner::SetOwner(DSoundRender* owner) {
    m_owner = owner;
    return 0;
}

uint32_t DSoundAudioRunner::StartFeeding() {
    if (!m_owner) {
        return 1;
    }
    if (m_owner->m_feeding.load(std::memory_order_relaxed) == 1) {
        return 0;
    }
    m_owner->m_feeding.store(1, std::memory_order_relaxed);
    if (!start(0x20000, nullptr)) {
        m_owner->m_feeding.store(0, std::memory_order_relaxed);
        return 1;
    }
    return 0;
}

uint32_t DSoundAudioRunner::StopFeeding() {
    if (!m_owner) {
        return 1;
    }
    if (m_owner->m_feeding.load(std::memory_order_relaxed) != 1) {
        return 0;
    }
    m_owner->m_feeding.store(0, std::memory_order_relaxed);
    stop();
    return 0;
}

void DSoundAudioRunner::threadMain() {
    if (!m_owner) {
        return;
    }
    while (m_owner->m_feeding.load(std::memory_order_relaxed) == 1) {
        // The pass waits for the device's notification; only a pass that
        // could not wait is followed by a pause, so that it never spins.
        if (m_owner->FillNextBlock() != 0) {
            RIVO_Common_Player::sleepMs(1);
        }
    }
}
