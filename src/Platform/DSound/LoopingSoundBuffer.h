#pragma once

#include <atomic>
#include <chrono>
#include <vector>

#include "Common/CLock.h"
#include "Platform/DSound/DirectSound8.h"

// A DirectSound secondary buffer: its memory, play cursor, notification
// positions and volume, behind the buffer and notify interfaces. What moves
// the cursor is the subclass's business: an SDL audio device pulling sound
// (SdlSoundBuffer), or a test advancing it by hand.
//
// The buffer is read on the consumer's thread while the application writes
// it, so Lock hands out a private copy of the region and Unlock copies it
// back under the buffer's lock: a region being rewritten is never read
// half-way, and the sound that plays is always a whole Unlock's worth.
class LoopingSoundBuffer : public IDirectSoundBuffer8, public IDirectSoundNotify {
public:
    // One reference, held by the creator.
    LoopingSoundBuffer();

    // Checks a description as CreateSoundBuffer does and allocates the buffer,
    // filled with silence. DSERR_INVALIDPARAM for a missing or inconsistent
    // description, DSERR_BADFORMAT for a format other than 16-bit PCM mono or
    // stereo, DSERR_UNSUPPORTED for capabilities that are not offered,
    // DSERR_OUTOFMEMORY when the memory cannot be had.
    HRESULT initialize(LPCDSBUFFERDESC desc);

    const WAVEFORMATEX& format() const { return m_format; }

    // IUnknown: the buffer interfaces (IID_IUnknown, IID_IDirectSoundBuffer,
    // IID_IDirectSoundBuffer8) and, with DSBCAPS_CTRLPOSITIONNOTIFY,
    // IID_IDirectSoundNotify. All of them share one reference count.
    HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // IDirectSoundBuffer
    HRESULT GetCurrentPosition(DWORD* pdwCurrentPlayCursor, DWORD* pdwCurrentWriteCursor) override;
    HRESULT GetVolume(LONG* plVolume) override;
    HRESULT Lock(DWORD dwOffset, DWORD dwBytes, LPVOID* ppvAudioPtr1, DWORD* pdwAudioBytes1,
                 LPVOID* ppvAudioPtr2, DWORD* pdwAudioBytes2, DWORD dwFlags) override;
    HRESULT Play(DWORD dwReserved1, DWORD dwPriority, DWORD dwFlags) override;
    HRESULT SetCurrentPosition(DWORD dwNewPosition) override;
    HRESULT SetVolume(LONG lVolume) override;
    HRESULT Stop() override;
    HRESULT Unlock(LPVOID pvAudioPtr1, DWORD dwAudioBytes1, LPVOID pvAudioPtr2,
                   DWORD dwAudioBytes2) override;

    // IDirectSoundNotify. Offsets must lie inside the buffer.
    HRESULT SetNotificationPositions(DWORD dwPositionNotifies,
                                     LPCDSBPOSITIONNOTIFY pcPositionNotifies) override;

protected:
    ~LoopingSoundBuffer() override;

    // Plays `bytes` (whole sample frames) into `out` as a sound card would:
    // the buffer's sound from the cursor on, scaled by the volume, wrapping at
    // the end when looping; silence while stopped and after a one-shot play
    // has reached the end. Sets the event of every notification offset the
    // cursor passes over, the start offset included.
    void render(uint8_t* out, DWORD bytes) EXCLUDES(m_lock);

    // A device that takes its sound a period at a time plays each period over
    // the period's length after render: the play cursor is then placed that
    // far behind the write cursor, less the time since the render. Off (the
    // play cursor is the write cursor) unless a subclass turns it on.
    void setDeviceBuffered(bool on);

private:
    // Copies `bytes` of sound from the cursor to `out`, scaled by the volume.
    void copyWithGain_Locked(uint8_t* out, DWORD bytes) const REQUIRES(m_lock);
    void notifyCrossed_Locked(DWORD from, DWORD bytes) const REQUIRES(m_lock);

    std::atomic<ULONG> m_references;

    // Set by initialize, constant afterwards (the sound in m_data changes
    // under m_lock).
    DWORD m_flags;
    WAVEFORMATEX m_format;
    DWORD m_size;
    uint8_t* m_data PT_GUARDED_BY(m_lock);  // m_size bytes
    uint8_t* m_lockCopy;                    // m_size bytes: the region handed out by Lock

    RIVO_Common_Player::CLock m_lock;
    DWORD m_cursor GUARDED_BY(m_lock);
    bool m_playing GUARDED_BY(m_lock);
    bool m_looping GUARDED_BY(m_lock);
    LONG m_volume GUARDED_BY(m_lock);
    float m_gain GUARDED_BY(m_lock);
    std::vector<DSBPOSITIONNOTIFY> m_positions GUARDED_BY(m_lock);
    bool m_locked GUARDED_BY(m_lock);
    DWORD m_lockOffset GUARDED_BY(m_lock);
    DWORD m_lockBytes GUARDED_BY(m_lock);
    bool m_deviceBuffered GUARDED_BY(m_lock);
    DWORD m_lastRenderBytes GUARDED_BY(m_lock);
    std::chrono::steady_clock::time_point m_lastRenderTime GUARDED_BY(m_lock);
};
