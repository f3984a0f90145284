#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "Common/ThreadAnnotations.h"
#include "Common/rivo_CMutex.h"
#include "Platform/DSound/DirectSound8.h"
#include "TavoPlayerCore/AudioRender/DSoundAudioRunner.h"
#include "TavoPlayerCore/AudioRender/IAudioRender.h"

// Audio output through DirectSound 8. One looping secondary buffer of
// kBlocks short blocks plays while the feeding thread keeps sound queued a
// little ahead of the cursor: each time the device takes sound (a
// notification at every block boundary) it moves the staged blocks behind
// what is queued, and writes silence where less than a block is staged and
// the queue would otherwise run short, so that the buffer never replays old
// sound. The player writes into a staging buffer.
//
// Blocks and the staging buffer are sized in time (kBlockMs, kStagingMs of
// the format), not in bytes: the engine once took 4096-byte blocks whatever
// the format, half a second of sound at 8 kHz mono and 21 ms at 48 kHz
// stereo, so that slow streams lagged and fast ones could not be staged.
// And the queue is kept only as far ahead as the device needs (what it takes
// at once plus kLeadBlocks), not a whole half of a two-block buffer: the
// engine once refilled one half while the other played, 40 to 80 ms queued
// on top of the staging and the device's own buffer, where now the sound is
// heard within 80 ms of its writing.
//
class DSoundRender : public IAudioRender {
public:
    DSoundRender();
    // Stops, then releases everything as Close does.
    ~DSoundRender() override;

    static constexpr uint32_t kBlockMs = 10;
    static constexpr uint32_t kBlocks = 8;
    // Sound kept queued beyond what the device takes at once: what the
    // feeding thread may be late by without the device running dry.
    static constexpr uint32_t kLeadBlocks = 2;
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
    // front first. Null data with a non-zero size is refused (1). A started
    // buffer begins to play once kLeadBlocks blocks are staged.
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
    // Staged bytes, plus what is queued in the looping buffer ahead of the
    // cursor up to which the device has taken sound, plus what the device
    // has taken but not yet played.
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
    // and tops the queue up (fill_Locked). Not 0 when it could not wait.
    uint32_t FillNextBlock();
    // Appends a block behind the unread bytes (and starts a buffer waiting for
    // its first blocks of sound). The caller has checked the room.
    void append_Locked(const void* data, uint32_t size) REQUIRES(m_mutex);
    // Bytes queued ahead of `taken`, the cursor up to which the device has
    // taken sound: what the last fill left, less what the device took since.
    // Past the queue's end (the feeding thread was too late) it is empty.
    uint32_t queuedAhead_Locked(DWORD taken) const REQUIRES(m_mutex);
    // Moves every whole staged block that fits behind the queue, then writes
    // silence while less than the device takes at once plus kLeadBlocks is
    // queued ahead of `taken`.
    void fill_Locked(DWORD play, DWORD taken) REQUIRES(m_mutex);
    // Writes one block at the write offset, staged sound or silence.
    void writeBlock_Locked(const uint8_t* sound) REQUIRES(m_mutex);

    IDirectSound8* m_device;
    IDirectSoundBuffer8* m_buffer;
    IDirectSoundBuffer* m_baseBuffer;
    IDirectSoundNotify* m_notify;
    DSBPOSITIONNOTIFY m_positions[kBlocks];
    // Set at every block boundary the device passes.
    HANDLE m_event;
    uint32_t m_blockSize;
    // Where the next block goes: always a block boundary.
    int32_t m_writeOffset GUARDED_BY(m_mutex);
    // Bytes queued ahead of m_lastTaken when the queue was last topped up.
    uint32_t m_ahead GUARDED_BY(m_mutex);
    DWORD m_lastTaken GUARDED_BY(m_mutex);
    // The most the device has held taken but unplayed: what it takes at once.
    uint32_t m_deviceHold GUARDED_BY(m_mutex);
    // Started, and waiting for the first write to begin playing.
    bool m_playPending GUARDED_BY(m_mutex);
    // The write offsets after the blocks written since the feeding thread
    // last printed them.
    std::vector<int32_t> m_blocksWritten GUARDED_BY(m_mutex);
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
