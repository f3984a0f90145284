#pragma once

#include <cstdint>
#include <list>

#include "Common/ThreadAnnotations.h"
#include "Common/rivo_CMutex.h"
#include "TavoPlayerCore/ITavoMediaBufferManager.h"

// Keeps the most recent minute of received samples per track so the host can
// replay it: the loops put every live sample into the input lists (trimmed to
// 60000 ms, video starting at a key frame); moving them to the play lists
// freezes the minute, which the loops then read back, seek in and pause.
// Every list also drops its oldest samples beyond kMaxListBytes of payload,
// so that time stamps that stall (or a host that sends far more than a
// camera) cannot make it grow without bound.
//
// The video lock guards the video lists, the video read index and the replay
// position; the audio lock the audio lists and index. Lock order: video before
// audio (seekTo takes the audio lock inside the video lock).
class CMediaOneMinPlay : public ITavoMediaBufferManager {
public:
    CMediaOneMinPlay();
    ~CMediaOneMinPlay() override;

    int32_t reset() override;
    int32_t clear() override;
    int32_t putSample(uint32_t track, const MediaSample* sample) override;
    int32_t getSample(uint32_t track, MediaSample* out) override;
    int32_t reserved1(uint32_t a, uint32_t b) override;
    int32_t reserved2(uint32_t a, uint32_t b) override;

    // Positions the video index on the last key frame at or before the second
    // (on the first key frame when none lies before it) and the audio index
    // on the first audio sample not earlier than that key frame.
    int32_t seekTo(uint32_t seconds);
    int32_t moveVideoToPlayList();
    int32_t moveAudioToPlayList();
    int32_t clearVideoPlayList();
    int32_t clearAudioPlayList();
    // Seconds between the first and last sample of the video play list.
    int32_t getDuration(uint32_t* seconds);
    // Seconds from the start of the video play list to the sample read last.
    int32_t getPlayPosition(uint32_t* seconds);
    int32_t seekAudioTo(uint32_t timeMs);

    // Payload bytes a list keeps at most: a minute of a 20 Mbit/s stream.
    static constexpr uint64_t kMaxListBytes = 150ull << 20;

private:
    // The samples and the sum of their payload sizes.
    struct SampleList {
        std::list<MediaSample*> samples;
        uint64_t bytes = 0;
    };

    static void freeList(SampleList& list);
    static void dropFront(SampleList& list);
    // Appends the samples of from to to, less from's oldest samples that
    // would take to beyond kMaxListBytes.
    static void moveList(SampleList& from, SampleList& to);
    // Appends a copy of the sample after dropping the oldest samples that
    // are beyond the time window or would exceed kMaxListBytes.
    static void append(SampleList& list, const MediaSample* sample);
    // Copies the play list's sample at *index into out and moves the index on:
    // 0, PLAYER_E_NOMORE past the end or without a position, PLAYER_E_FAIL
    // for an empty list. The caller holds the list's lock.
    static int32_t readNext(const SampleList& list, int32_t* index, MediaSample* out);

    RIVO_Common_Player::rivo_CMutex m_videoLock;
    RIVO_Common_Player::rivo_CMutex m_audioLock;
    SampleList m_videoInput GUARDED_BY(m_videoLock);
    SampleList m_audioInput GUARDED_BY(m_audioLock);
    SampleList m_videoPlay GUARDED_BY(m_videoLock);
    SampleList m_audioPlay GUARDED_BY(m_audioLock);
    int32_t m_videoReadIndex GUARDED_BY(m_videoLock);  // -1 = no position
    int32_t m_audioReadIndex GUARDED_BY(m_audioLock);
    uint32_t m_replayPositionMs GUARDED_BY(m_videoLock);
};
