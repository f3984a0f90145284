#pragma once

#include <atomic>
#include <cstdint>

#include "Common/ThreadAnnotations.h"
#include "Common/rivo_CMutex.h"
#include "Platform/DSound/DirectSound8.h"
#include "TavoPlayerCore/AudioRender/DSoundAudioRunner.h"
#include "TavoPlayerCore/AudioRender/IAudioRender.h"

// Audio output through DirectSound 8. One looping secondary buffer of two
// blocks plays while the feeding thread moves one block into the half that
// is not playing each time the play cursor crosses a block boundary. The
// player writes into a staging buffer; when it holds less than a block at a
// boundary, the feeding thread writes a block of silence so that the buffer
// never replays old sound.
//
// Blocks and the staging buffer are sized in time (kBlockMs, kStagingMs of
// the format), not in bytes: the engine once took 4096-byte blocks whatever
// the format, half a second of sound at 8 kHz mono and 21 ms at 48 kHz
// stereo, so that slow streams lagged and fast ones could not be staged.
//
// Threads: the player's audio loop (Write, set-up, Start, destruction), the
// host's thread (SetWindow, SetVolume; the player serialises these with the
// audio loop) and the feeding thread (FillNextBlock).
class DSoundRender : public IAudioRender {
public:
    DSoundRender();
    // Stops, then releases everything as Close does.
    ~DSoundRender() override;

    static constexpr uint32_t kBlockMs = 40;
    static constexpr uint32_t kStagingMs = 400;

    // Creates device, buffer, notifications and staging buffer. A renderer
    // that is open already is stopped and opened afresh in the new format.
    uint32_t Open() override;
    // Stops feeding if needed and releases notify interface, buffer, base
    // buffer and device in that order, then the events and the staging buffer.
    uint32_t Close() override;
    uint32_t SetFormat(const AudioFormat* format) override;
    uint32_t SetWindow(HWND window) override;
    uint32_t Start() override;
    uint32_t Reserved1() override;
    uint32_t Stop() override;
    // Taken only while the staging buffer keeps at least one byte free after
    // it; a block that does not fit behind the unread bytes moves them to the
    // front first. Null data with a non-zero size is refused (1).
    uint32_t Write(const void* data, uint32_t size) override;
    uint32_t Reserved2() override;
    uint32_t Reserved3(uint32_t) override;
    uint32_t Reserved4(uint32_t) override;
    uint32_t Reserved5(uint32_t) override;
    uint32_t Reserved6() override;
    uint32_t SetVolume(uint32_t volume) override;
    uint32_t GetVolume() override;
    uint32_t Reserved7() override;
    uint32_t Reserved8(uint32_t) override;
    // Staged bytes, plus the looping buffer from the play cursor to where the
    // next block goes (nothing before the buffer has begun to play).
    uint32_t GetQueuedMs() override;

    // Bytes per block: kBlockMs of sound in the stored format (0 when that is
    // not a usable buffer size).
    uint32_t GetBlockSize() const;

    // Staging buffer state, for tests: unread bytes and where they start.
    int32_t stagingFill() const;
    uint32_t stagingReadOffset() const;

private:
    friend class DSoundAudioRunner;

    // One pass of the feeding thread: waits up to 200 ms for a notification
    // and moves one block (or silence) into the half that is not playing.
    uint32_t FillNextBlock();
    // Appends a block behind the unread bytes (and starts a buffer waiting for
    // its first block of sound). The caller has checked the room.
    void append_Locked(const void* data, uint32_t size) REQUIRES(m_mutex);
    // Moves a block of staged sound (silence while less is staged) to the
    // write offset, and advances the offset to the other half.
    void moveBlock_Locked() REQUIRES(m_mutex);

    IDirectSound8* m_device;
    IDirectSoundBuffer8* m_buffer;
    IDirectSoundBuffer* m_baseBuffer;
    IDirectSoundNotify* m_notify;
    DSBPOSITIONNOTIFY m_positions[2];
    HANDLE m_events[2];
    uint32_t m_blockSize;
    int32_t m_writeOffset GUARDED_BY(m_mutex);
    // Started, and waiting for the first write to begin playing.
    bool m_playPending GUARDED_BY(m_mutex);
    uint8_t* m_staging GUARDED_BY(m_mutex);
    int32_t m_stagingFill GUARDED_BY(m_mutex);
    uint32_t m_stagingCapacity GUARDED_BY(m_mutex);
    uint32_t m_stagingReadOffset GUARDED_BY(m_mutex);

    HWND m_window;
    uint32_t m_channels;
    uint32_t m_sampleRate;
    int32_t m_bitsPerSample;

    // 1 while the feeding thread is meant to run. Declared before the thread
    // object, so it outlives the thread's destructor, which reads it.
    std::atomic<uint32_t> m_feeding;
    DSoundAudioRunner m_runner;
    RIVO_Common_Player::rivo_CMutex* m_mutex;
};
