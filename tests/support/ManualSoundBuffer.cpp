#include "support/ManualSoundBuffer.h"

#include <chrono>

std::vector<uint8_t> ManualSoundBuffer::advance(DWORD bytes) {
    std::vector<uint8_t> heard(bytes);
    render(heard.data(), bytes);
    return heard;
}

bool ManualSoundBuffer::waitForUnlocks(size_t count) {
    std::unique_lock<std::mutex> lock(m_recordMutex);
    return m_unlocked.wait_for(lock, std::chrono::seconds(10), [&] { return m_unlocks >= count; });
}

size_t ManualSoundBuffer::unlocks() const {
    std::lock_guard<std::mutex> lock(m_recordMutex);
    return m_unlocks;
}

std::vector<DWORD> ManualSoundBuffer::lockOffsets() const {
    std::lock_guard<std::mutex> lock(m_recordMutex);
    return m_lockOffsets;
}

std::vector<std::string> ManualSoundBuffer::calls() const {
    std::lock_guard<std::mutex> lock(m_recordMutex);
    return m_calls;
}

std::vector<DSBPOSITIONNOTIFY> ManualSoundBuffer::positions() const {
    std::lock_guard<std::mutex> lock(m_recordMutex);
    return m_positions;
}

void ManualSoundBuffer::record(const std::string& call) {
    std::lock_guard<std::mutex> lock(m_recordMutex);
    m_calls.push_back(call);
}

HRESULT ManualSoundBuffer::Lock(DWORD dwOffset, DWORD dwBytes, LPVOID* ppvAudioPtr1,
                                DWORD* pdwAudioBytes1, LPVOID* ppvAudioPtr2, DWORD* pdwAudioBytes2,
                                DWORD dwFlags) {
    {
        std::lock_guard<std::mutex> lock(m_recordMutex);
        m_lockOffsets.push_back(dwOffset);
    }
    return LoopingSoundBuffer::Lock(dwOffset, dwBytes, ppvAudioPtr1, pdwAudioBytes1, ppvAudioPtr2,
                                    pdwAudioBytes2, dwFlags);
}

HRESULT ManualSoundBuffer::Unlock(LPVOID pvAudioPtr1, DWORD dwAudioBytes1, LPVOID pvAudioPtr2,
                                  DWORD dwAudioBytes2) {
    const HRESULT result =
        LoopingSoundBuffer::Unlock(pvAudioPtr1, dwAudioBytes1, pvAudioPtr2, dwAudioBytes2);
    {
        std::lock_guard<std::mutex> lock(m_recordMutex);
        ++m_unlocks;
    }
    m_unlocked.notify_all();
    return result;
}

HRESULT ManualSoundBuffer::Play(DWORD dwReserved1, DWORD dwPriority, DWORD dwFlags) {
    record("Play(" + std::to_string(dwReserved1) + "," + std::to_string(dwPriority) + "," +
           std::to_string(dwFlags) + ")");
    return LoopingSoundBuffer::Play(dwReserved1, dwPriority, dwFlags);
}

HRESULT ManualSoundBuffer::Stop() {
    record("Stop");
    return LoopingSoundBuffer::Stop();
}

HRESULT ManualSoundBuffer::SetCurrentPosition(DWORD dwNewPosition) {
    record("SetCurrentPosition(" + std::to_string(dwNewPosition) + ")");
    return LoopingSoundBuffer::SetCurrentPosition(dwNewPosition);
}

HRESULT ManualSoundBuffer::SetVolume(LONG lVolume) {
    record("SetVolume(" + std::to_string(lVolume) + ")");
    return LoopingSoundBuffer::SetVolume(lVolume);
}

HRESULT ManualSoundBuffer::SetNotificationPositions(DWORD dwPositionNotifies,
                                                    LPCDSBPOSITIONNOTIFY pcPositionNotifies) {
    record("SetNotificationPositions(" + std::to_string(dwPositionNotifies) + ")");
    const HRESULT result =
        LoopingSoundBuffer::SetNotificationPositions(dwPositionNotifies, pcPositionNotifies);
    if (SUCCEEDED(result)) {
        std::lock_guard<std::mutex> lock(m_recordMutex);
        m_positions.assign(pcPositionNotifies, pcPositionNotifies + dwPositionNotifies);
    }
    return result;
}
