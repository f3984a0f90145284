#include "support/ManualSoundBuffer.h"

#include <chrono>

std::vector<uint8_t> ManualSoundBuffer::advance(DWORD bytes) {
    std::vector<uint8_t> heard(bytes);
    render(heard.data(), bytes);
    return heard;
}

bool ManualSoundBuffer::waitForUnlocks(size_t count) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_unlocked.wait_for(lock, std::chrono::seconds(10), [&] { return m_unlocks >= count; });
}

size_t ManualSoundBuffer::unlocks() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_unlocks;
}

HRESULT ManualSoundBuffer::Unlock(LPVOID pvAudioPtr1, DWORD dwAudioBytes1, LPVOID pvAudioPtr2,
                                  DWORD dwAudioBytes2) {
    const HRESULT result =
        LoopingSoundBuffer::Unlock(pvAudioPtr1, dwAudioBytes1, pvAudioPtr2, dwAudioBytes2);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_unlocks;
    }
    m_unlocked.notify_all();
    return result;
}
