#include "Platform/DSound/LoopingSoundBuffer.h"

#include <cmath>
#include <cstring>
#include <new>

#include "Common/CScopedLock.h"
#include "Platform/Win32/Win32Event.h"

using RIVO_Common_Player::CScopedLock;

namespace {

// Capabilities a buffer may ask for. Focus does not exist on Linux (every
// buffer is heard, as with DSBCAPS_GLOBALFOCUS) and every cursor is exact
// (as with DSBCAPS_GETCURRENTPOSITION2).
constexpr DWORD kSupportedFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPOSITIONNOTIFY |
                                  DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2;

// Gain of a volume in hundredths of a decibel; the minimum is silence.
float gainOf(LONG volume) {
    return volume <= DSBVOLUME_MIN ? 0.0f : static_cast<float>(std::pow(10.0, volume / 2000.0));
}

HRESULT checkFormat(const WAVEFORMATEX* format) {
    if (format->wFormatTag != WAVE_FORMAT_PCM || format->wBitsPerSample != 16 ||
        (format->nChannels != 1 && format->nChannels != 2) ||
        format->nSamplesPerSec < DSBFREQUENCY_MIN || format->nSamplesPerSec > DSBFREQUENCY_MAX) {
        return DSERR_BADFORMAT;
    }
    if (format->nBlockAlign != format->nChannels * format->wBitsPerSample / 8 ||
        format->nAvgBytesPerSec != format->nSamplesPerSec * format->nBlockAlign) {
        return DSERR_INVALIDPARAM;
    }
    return DS_OK;
}

}  // namespace

LoopingSoundBuffer::LoopingSoundBuffer()
    : m_references(1),
      m_flags(0),
      m_format(),
      m_size(0),
      m_data(nullptr),
      m_lockCopy(nullptr),
      m_cursor(0),
      m_playing(false),
      m_looping(false),
      m_volume(DSBVOLUME_MAX),
      m_gain(1.0f),
      m_locked(false),
      m_lockOffset(0),
      m_lockBytes(0),
      m_deviceBuffered(false),
      m_lastRenderBytes(0) {}

LoopingSoundBuffer::~LoopingSoundBuffer() {
    delete[] m_data;
    delete[] m_lockCopy;
}

HRESULT LoopingSoundBuffer::initialize(LPCDSBUFFERDESC desc) {
    if (!desc || desc->dwSize != sizeof(DSBUFFERDESC) || !desc->lpwfxFormat || m_data) {
        return DSERR_INVALIDPARAM;
    }
    if (desc->dwFlags & ~kSupportedFlags) {
        return DSERR_UNSUPPORTED;
    }
    const HRESULT formatResult = checkFormat(desc->lpwfxFormat);
    if (FAILED(formatResult)) {
        return formatResult;
    }
    if (desc->dwBufferBytes < DSBSIZE_MIN || desc->dwBufferBytes > DSBSIZE_MAX ||
        desc->dwBufferBytes % desc->lpwfxFormat->nBlockAlign != 0) {
        return DSERR_INVALIDPARAM;
    }
    m_data = new (std::nothrow) uint8_t[desc->dwBufferBytes]();
    m_lockCopy = new (std::nothrow) uint8_t[desc->dwBufferBytes];
    if (!m_data || !m_lockCopy) {
        delete[] m_data;
        delete[] m_lockCopy;
        m_data = m_lockCopy = nullptr;
        return DSERR_OUTOFMEMORY;
    }
    m_flags = desc->dwFlags;
    m_format = *desc->lpwfxFormat;
    m_size = desc->dwBufferBytes;
    return DS_OK;
}

HRESULT LoopingSoundBuffer::QueryInterface(REFIID riid, void** ppvObject) {
    if (!ppvObject) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IDirectSoundBuffer || riid == IID_IDirectSoundBuffer8) {
        *ppvObject = static_cast<IDirectSoundBuffer8*>(this);
    } else if (riid == IID_IDirectSoundNotify && (m_flags & DSBCAPS_CTRLPOSITIONNOTIFY)) {
        *ppvObject = static_cast<IDirectSoundNotify*>(this);
    } else {
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG LoopingSoundBuffer::AddRef() {
    return ++m_references;
}

ULONG LoopingSoundBuffer::Release() {
    const ULONG left = --m_references;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT LoopingSoundBuffer::GetCurrentPosition(DWORD* pdwCurrentPlayCursor,
                                               DWORD* pdwCurrentWriteCursor) {
    CScopedLock lock(m_lock);
    DWORD behind = 0;
    if (m_deviceBuffered && m_playing && m_format.nAvgBytesPerSec > 0) {
        const int64_t elapsedUs = std::chrono::duration_cast<std::chrono::microseconds>(
                                      std::chrono::steady_clock::now() - m_lastRenderTime)
                                      .count();
        const int64_t heard = elapsedUs * m_format.nAvgBytesPerSec / 1000000;
        behind = heard >= m_lastRenderBytes ? 0 : m_lastRenderBytes - static_cast<DWORD>(heard);
        behind -= behind % m_format.nBlockAlign;
    }
    if (pdwCurrentPlayCursor) {
        *pdwCurrentPlayCursor = (m_cursor + m_size - behind % m_size) % m_size;
    }
    if (pdwCurrentWriteCursor) {
        *pdwCurrentWriteCursor = m_cursor;
    }
    return DS_OK;
}

void LoopingSoundBuffer::setDeviceBuffered(bool on) {
    CScopedLock lock(m_lock);
    m_deviceBuffered = on;
}

HRESULT LoopingSoundBuffer::GetVolume(LONG* plVolume) {
    if (!plVolume) {
        return DSERR_INVALIDPARAM;
    }
    if (!(m_flags & DSBCAPS_CTRLVOLUME)) {
        return DSERR_CONTROLUNAVAIL;
    }
    CScopedLock lock(m_lock);
    *plVolume = m_volume;
    return DS_OK;
}

HRESULT LoopingSoundBuffer::Lock(DWORD dwOffset, DWORD dwBytes, LPVOID* ppvAudioPtr1,
                                 DWORD* pdwAudioBytes1, LPVOID* ppvAudioPtr2, DWORD* pdwAudioBytes2,
                                 DWORD dwFlags) {
    if (!ppvAudioPtr1 || !pdwAudioBytes1 || (ppvAudioPtr2 && !pdwAudioBytes2) || dwFlags != 0 ||
        dwOffset >= m_size || dwBytes == 0 || dwBytes > m_size) {
        return DSERR_INVALIDPARAM;
    }
    const DWORD first = dwBytes < m_size - dwOffset ? dwBytes : m_size - dwOffset;
    const DWORD second = dwBytes - first;
    if (second && !ppvAudioPtr2) {
        return DSERR_INVALIDPARAM;
    }
    CScopedLock lock(m_lock);
    if (m_locked) {
        return DSERR_INVALIDCALL;
    }
    std::memcpy(m_lockCopy, m_data + dwOffset, first);
    std::memcpy(m_lockCopy + first, m_data, second);
    m_locked = true;
    m_lockOffset = dwOffset;
    m_lockBytes = dwBytes;
    *ppvAudioPtr1 = m_lockCopy;
    *pdwAudioBytes1 = first;
    if (ppvAudioPtr2) {
        *ppvAudioPtr2 = second ? m_lockCopy + first : nullptr;
        *pdwAudioBytes2 = second;
    }
    return DS_OK;
}

HRESULT LoopingSoundBuffer::Unlock(LPVOID pvAudioPtr1, DWORD dwAudioBytes1, LPVOID pvAudioPtr2,
                                   DWORD dwAudioBytes2) {
    CScopedLock lock(m_lock);
    const DWORD first = m_lockBytes < m_size - m_lockOffset ? m_lockBytes : m_size - m_lockOffset;
    const DWORD second = m_lockBytes - first;
    if (!m_locked || pvAudioPtr1 != m_lockCopy || dwAudioBytes1 > first ||
        (dwAudioBytes2 && pvAudioPtr2 != m_lockCopy + first) || dwAudioBytes2 > second) {
        return DSERR_INVALIDPARAM;
    }
    std::memcpy(m_data + m_lockOffset, m_lockCopy, dwAudioBytes1);
    std::memcpy(m_data, m_lockCopy + first, dwAudioBytes2);
    m_locked = false;
    return DS_OK;
}

HRESULT LoopingSoundBuffer::Play(DWORD dwReserved1, DWORD dwPriority, DWORD dwFlags) {
    if (dwReserved1 != 0 || dwPriority != 0 || (dwFlags & ~DWORD(DSBPLAY_LOOPING))) {
        return DSERR_INVALIDPARAM;
    }
    CScopedLock lock(m_lock);
    m_playing = true;
    m_looping = (dwFlags & DSBPLAY_LOOPING) != 0;
    return DS_OK;
}

HRESULT LoopingSoundBuffer::SetCurrentPosition(DWORD dwNewPosition) {
    if (dwNewPosition >= m_size) {
        return DSERR_INVALIDPARAM;
    }
    CScopedLock lock(m_lock);
    // The cursor stays on whole sample frames.
    m_cursor = dwNewPosition - dwNewPosition % m_format.nBlockAlign;
    return DS_OK;
}

HRESULT LoopingSoundBuffer::SetVolume(LONG lVolume) {
    if (!(m_flags & DSBCAPS_CTRLVOLUME)) {
        return DSERR_CONTROLUNAVAIL;
    }
    if (lVolume < DSBVOLUME_MIN || lVolume > DSBVOLUME_MAX) {
        return DSERR_INVALIDPARAM;
    }
    CScopedLock lock(m_lock);
    m_volume = lVolume;
    m_gain = gainOf(lVolume);
    return DS_OK;
}

HRESULT LoopingSoundBuffer::Stop() {
    CScopedLock lock(m_lock);
    m_playing = false;
    return DS_OK;
}

HRESULT LoopingSoundBuffer::SetNotificationPositions(DWORD dwPositionNotifies,
                                                     LPCDSBPOSITIONNOTIFY pcPositionNotifies) {
    if (dwPositionNotifies && !pcPositionNotifies) {
        return DSERR_INVALIDPARAM;
    }
    for (DWORD i = 0; i < dwPositionNotifies; ++i) {
        if (pcPositionNotifies[i].dwOffset >= m_size || !pcPositionNotifies[i].hEventNotify) {
            return DSERR_INVALIDPARAM;
        }
    }
    CScopedLock lock(m_lock);
    if (m_playing) {
        return DSERR_INVALIDCALL;
    }
    m_positions.assign(pcPositionNotifies, pcPositionNotifies + dwPositionNotifies);
    return DS_OK;
}

void LoopingSoundBuffer::render(uint8_t* out, DWORD bytes) {
    CScopedLock lock(m_lock);
    m_lastRenderBytes = m_playing ? bytes : 0;
    m_lastRenderTime = std::chrono::steady_clock::now();
    DWORD done = 0;
    while (done < bytes && m_playing) {
        const DWORD toEnd = m_size - m_cursor;
        const DWORD chunk = bytes - done < toEnd ? bytes - done : toEnd;
        copyWithGain_Locked(out + done, chunk);
        notifyCrossed_Locked(m_cursor, chunk);
        done += chunk;
        m_cursor += chunk;
        if (m_cursor == m_size) {
            m_cursor = 0;
            m_playing = m_looping;
        }
    }
    std::memset(out + done, 0, bytes - done);
}

void LoopingSoundBuffer::copyWithGain_Locked(uint8_t* out, DWORD bytes) const {
    const uint8_t* in = m_data + m_cursor;
    if (m_volume == DSBVOLUME_MAX) {
        std::memcpy(out, in, bytes);
        return;
    }
    for (DWORD i = 0; i + 1 < bytes; i += 2) {
        int16_t sample;
        std::memcpy(&sample, in + i, 2);
        sample = static_cast<int16_t>(std::lrint(sample * m_gain));
        std::memcpy(out + i, &sample, 2);
    }
}

void LoopingSoundBuffer::notifyCrossed_Locked(DWORD from, DWORD bytes) const {
    for (const DSBPOSITIONNOTIFY& position : m_positions) {
        if (position.dwOffset >= from && position.dwOffset - from < bytes) {
            SetEvent(position.hEventNotify);
        }
    }
}
