#include "LiveQueue.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

constexpr int kFeedIntervalMs = 5;

LiveQueue* queueOf(void* context) {
    return static_cast<LiveQueue*>(context);
}

int32_t getSampleEntry(void* context, int32_t track, MediaSample* out) {
    return queueOf(context)->getSample(track, out);
}

int32_t getMaxDelayEntry(void* context, uint32_t* outMs) {
    return queueOf(context)->getMaxDelay(outMs);
}

int32_t getMaxTsEntry(void* context, int32_t track, uint32_t* outMs) {
    return queueOf(context)->getMaxTs(track, outMs);
}

}  // namespace

LiveQueue::LiveQueue(IMediaSource* source, Pacing pacing, uint32_t holdBackMs, Clock clock)
    : m_source(source),
      m_pacing(pacing),
      m_holdBackMs(holdBackMs),
      m_clock(std::move(clock)),
      m_startMs(m_clock()),
      m_functions{getSampleEntry, nullptr, getMaxDelayEntry, getMaxTsEntry},
      m_lastReadMs(-1),
      m_ended(false),
      m_stopFeeding(false) {
    m_video.info = source->videoStreamInfo();
    m_audio.info = source->audioStreamInfo();
}

LiveQueue::~LiveQueue() {
    stopFeeding();
}

bool LiveQueue::fill() {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_ended) {
                return false;
            }
            if (!wantMore_Locked(elapsed_Locked())) {
                return true;
            }
        }
        // Reading (encoding, for the camera) happens outside the lock, so the
        // player's loops are never held up by it.
        SourceUnit unit;
        const bool got = m_source->read(&unit);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!got) {
            m_ended = true;
            m_error = m_source->error();
            return false;
        }
        m_lastReadMs = unit.timeMs;
        if (m_pacing == Pacing::Arrival) {
            m_startMs = std::min(m_startMs, m_clock() - static_cast<int64_t>(unit.timeMs));
        }
        track(unit.track).waiting.push_back(std::move(unit));
    }
}

void LiveQueue::startFeeding() {
    if (m_feeder.joinable()) {
        return;
    }
    m_stopFeeding = false;
    m_feeder = std::thread(&LiveQueue::feed, this);
}

void LiveQueue::stopFeeding() {
    if (!m_feeder.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_feederMutex);
        m_stopFeeding = true;
    }
    m_feederWake.notify_all();
    m_feeder.join();
}

int32_t LiveQueue::getSample(int32_t number, MediaSample* out) {
    if (number != TRACK_VIDEO && number != TRACK_AUDIO) {
        return 1;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    Track& t = track(number);
    if (!t.described) {
        t.described = true;
        t.current.info = t.info;
        describe(&t, out);
        return 0;
    }
    const int64_t elapsed = elapsed_Locked();
    receive_Locked(&t, elapsed);
    if (t.waiting.empty() || !available_Locked(t.waiting.front(), elapsed)) {
        return 1;
    }
    const uint32_t previousMs = t.current.timeMs;
    t.current = std::move(t.waiting.front());
    t.waiting.pop_front();
    if (t.current.describes) {
        // The progress goes on from the last unit taken.
        t.current.timeMs = previousMs;
        describe(&t, out);
        return 0;
    }
    if (t.taken++ == 0) {
        t.firstTakenMs = t.current.timeMs;
    }
    out->ulTime = t.current.timeMs;
    out->ulFlags = t.current.keyFrame ? MEDIA_FLAG_KEYFRAME : 0;
    out->pStreamInfo = nullptr;
    out->ulsize = static_cast<uint32_t>(t.current.data.size());
    out->pData = t.current.data.data();
    out->AVFrameSeq = t.current.sequence;
    return 0;
}

void LiveQueue::describe(Track* t, MediaSample* out) {
    out->ulTime = 0;
    out->ulFlags = MEDIA_FLAG_DESCRIPTION;
    out->pStreamInfo = &t->current.info;
    out->ulsize = 0;
    out->pData = nullptr;
}

int32_t LiveQueue::getMaxTs(int32_t number, uint32_t* outMs) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Track& t = track(number);
    receive_Locked(&t, elapsed_Locked());
    *outMs = t.hasNewest ? t.newestMs : 0;
    return 0;
}

int32_t LiveQueue::getMaxDelay(uint32_t* outMs) {
    std::lock_guard<std::mutex> lock(m_mutex);
    *outMs = 0;
    if (m_pacing == Pacing::Playback) {
        return 0;
    }
    const int64_t elapsed = elapsed_Locked();
    receive_Locked(&m_video, elapsed);
    receive_Locked(&m_audio, elapsed);
    // Video sets the pace once it comes; a network stream may tell what it
    // carries only after the player started.
    const Track& t = m_video.hasNewest || !m_audio.hasNewest ? m_video : m_audio;
    const int64_t behind = elapsed - (t.hasNewest ? t.newestMs : 0);
    if (behind > 0) {
        *outMs = behind > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(behind);
    }
    return 0;
}

LiveQueue::Progress LiveQueue::progress() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    Progress progress;
    progress.videoTaken = m_video.taken;
    progress.audioTaken = m_audio.taken;
    progress.firstVideoMs = m_video.firstTakenMs;
    progress.firstAudioMs = m_audio.firstTakenMs;
    progress.lastVideoMs = m_video.current.timeMs;
    progress.lastAudioMs = m_audio.current.timeMs;
    progress.drained = m_ended && m_video.waiting.empty() && m_audio.waiting.empty();
    progress.error = m_error;
    return progress;
}

int64_t LiveQueue::elapsed_Locked() const {
    return m_clock() - m_startMs;
}

bool LiveQueue::available_Locked(const SourceUnit& unit, int64_t elapsed) const {
    if (m_pacing != Pacing::Live) {
        return true;
    }
    return elapsed >= static_cast<int64_t>(unit.timeMs) && elapsed >= m_holdBackMs;
}

void LiveQueue::receive_Locked(Track* t, int64_t elapsed) {
    for (const SourceUnit& unit : t->waiting) {
        if (!available_Locked(unit, elapsed)) {
            break;
        }
        if (unit.describes) {
            continue;
        }
        if (!t->hasNewest || unit.timeMs > t->newestMs) {
            t->newestMs = unit.timeMs;
            t->hasNewest = true;
        }
    }
}

bool LiveQueue::wantMore_Locked(int64_t elapsed) const {
    if (m_pacing != Pacing::Live) {
        return m_video.waiting.size() + m_audio.waiting.size() < kPlaybackUnits;
    }
    return m_lastReadMs < elapsed + kLookAheadMs;
}

void LiveQueue::feed() {
    std::unique_lock<std::mutex> lock(m_feederMutex);
    while (!m_stopFeeding) {
        lock.unlock();
        const bool more = fill();
        lock.lock();
        if (!more) {
            return;
        }
        m_feederWake.wait_for(lock, std::chrono::milliseconds(kFeedIntervalMs),
                              [this] { return m_stopFeeding; });
    }
}
