#include "TavoPlayerCore/CMediaOneMinPlay.h"

#include <cstring>
#include <iterator>

#include "Common/CAutoLock.h"
#include "Common/Log.h"
#include "TavoPlayerCore/MediaSampleRecord.h"

using RIVO_Common_Player::CAutoLock;

namespace {

// Longest span (back minus front, unsigned) an input list keeps before a new sample is appended.
constexpr uint32_t kWindowMs = 60000;

MediaSample* copySample(const MediaSample* sample) {
    MediaSample* copy = new MediaSample;
    initMediaSample(copy);
    copy->ulTime = sample->ulTime;
    copy->ulFlags = sample->ulFlags;
    copy->ulsize = sample->ulsize;
    copy->pData = new uint8_t[sample->ulsize];
    // A record that announces a payload without carrying one is kept at its
    // size, with zeros rather than whatever the fresh buffer held.
    if (sample->pData) {
        std::memcpy(copy->pData, sample->pData, sample->ulsize);
    } else {
        std::memset(copy->pData, 0, sample->ulsize);
    }
    return copy;
}

}  // namespace

CMediaOneMinPlay::CMediaOneMinPlay()
    : m_videoReadIndex(0), m_audioReadIndex(0), m_replayPositionMs(0) {}

CMediaOneMinPlay::~CMediaOneMinPlay() {
    freeList(m_videoInput);
    freeList(m_audioInput);
    freeList(m_videoPlay);
    freeList(m_audioPlay);
}

void CMediaOneMinPlay::freeList(SampleList& list) {
    for (MediaSample* sample : list.samples) {
        releaseMediaSample(sample);
    }
    list.samples.clear();
    list.bytes = 0;
}

void CMediaOneMinPlay::dropFront(SampleList& list) {
    list.bytes -= list.samples.front()->ulsize;
    releaseMediaSample(list.samples.front());
    list.samples.pop_front();
}

void CMediaOneMinPlay::moveList(SampleList& from, SampleList& to) {
    // The play list's samples stay: a loop may be using the one it read last.
    while (!from.samples.empty() && to.bytes + from.bytes > kMaxListBytes) {
        dropFront(from);
    }
    to.samples.splice(to.samples.end(), from.samples);
    to.bytes += from.bytes;
    from.bytes = 0;
}

void CMediaOneMinPlay::append(SampleList& list, const MediaSample* sample) {
    while (!list.samples.empty() &&
           (list.samples.back()->ulTime - list.samples.front()->ulTime > kWindowMs ||
            list.bytes + sample->ulsize > kMaxListBytes)) {
        dropFront(list);
    }
    list.samples.push_back(copySample(sample));
    list.bytes += sample->ulsize;
}

int32_t CMediaOneMinPlay::reset() {
    return clear();
}

int32_t CMediaOneMinPlay::clear() {
    {
        CAutoLock lock(&m_videoLock);
        freeList(m_videoInput);
    }
    CAutoLock lock(&m_audioLock);
    freeList(m_audioInput);
    return 0;
}

int32_t CMediaOneMinPlay::putSample(uint32_t track, const MediaSample* sample) {
    if (!sample) {
        return 0;
    }
    if (track == TRACK_VIDEO) {
        CAutoLock lock(&m_videoLock);
        if (m_videoInput.samples.empty() && !(sample->ulFlags & MEDIA_FLAG_KEYFRAME)) {
            return 0;
        }
        append(m_videoInput, sample);
    } else if (track == TRACK_AUDIO) {
        CAutoLock lock(&m_audioLock);
        append(m_audioInput, sample);
    }
    return 0;
}

int32_t CMediaOneMinPlay::getSample(uint32_t track, MediaSample* out) {
    if (track == TRACK_VIDEO) {
        CAutoLock lock(&m_videoLock);
        const int32_t result = readNext(m_videoPlay, &m_videoReadIndex, out);
        if (result == 0) {
            m_replayPositionMs = out->ulTime - m_videoPlay.samples.front()->ulTime;
        }
        return result;
    }
    if (track == TRACK_AUDIO) {
        CAutoLock lock(&m_audioLock);
        return readNext(m_audioPlay, &m_audioReadIndex, out);
    }
    return 0;
}

int32_t CMediaOneMinPlay::readNext(const SampleList& list, int32_t* index, MediaSample* out) {
    const std::list<MediaSample*>& samples = list.samples;
    if (*index < 0 || (!samples.empty() && static_cast<size_t>(*index) > samples.size() - 1)) {
        return PLAYER_E_NOMORE;
    }
    if (samples.empty()) {
        return PLAYER_E_FAIL;
    }
    *out = **std::next(samples.begin(), *index);
    ++*index;
    return 0;
}

int32_t CMediaOneMinPlay::reserved1(uint32_t, uint32_t) {
    return 0;
}

int32_t CMediaOneMinPlay::reserved2(uint32_t, uint32_t) {
    return 0;
}

int32_t CMediaOneMinPlay::seekTo(uint32_t seconds) {
    CAutoLock lock(&m_videoLock);
    const std::list<MediaSample*>& samples = m_videoPlay.samples;
    if (samples.empty()) {
        m_videoReadIndex = -1;
        return 0;
    }
    const uint32_t target = seconds * 1000u + samples.front()->ulTime;
    if (target > samples.back()->ulTime) {
        m_videoReadIndex = static_cast<int32_t>(samples.size()) - 1;
        return 0;
    }
    RIVO_LOG("seek to m_iseekposition =%u", target);
    int32_t position = 0;
    int32_t keyPosition = -1;
    uint32_t keyTime = 0;
    for (const MediaSample* sample : samples) {
        const bool key = (sample->ulFlags & MEDIA_FLAG_KEYFRAME) != 0;
        if (sample->ulTime > target && (keyPosition >= 0 || key)) {
            // Trimming may have taken the minute's first key frame, so a seek
            // before the first one left (to second 0, say) lands on it
            // instead of leaving the replay without a position.
            if (keyPosition < 0) {
                keyPosition = position;
                keyTime = sample->ulTime;
            }
            break;
        }
        if (key) {
            keyPosition = position;
            keyTime = sample->ulTime;
        }
        ++position;
    }
    m_videoReadIndex = keyPosition;
    if (keyPosition >= 0) {
        seekAudioTo(keyTime);
    }
    return 0;
}

int32_t CMediaOneMinPlay::moveVideoToPlayList() {
    CAutoLock lock(&m_videoLock);
    moveList(m_videoInput, m_videoPlay);
    return 0;
}

int32_t CMediaOneMinPlay::moveAudioToPlayList() {
    CAutoLock lock(&m_audioLock);
    moveList(m_audioInput, m_audioPlay);
    return 0;
}

int32_t CMediaOneMinPlay::clearVideoPlayList() {
    CAutoLock lock(&m_videoLock);
    freeList(m_videoPlay);
    m_videoReadIndex = 0;
    return 0;
}

int32_t CMediaOneMinPlay::clearAudioPlayList() {
    CAutoLock lock(&m_audioLock);
    freeList(m_audioPlay);
    m_audioReadIndex = 0;
    return 0;
}

int32_t CMediaOneMinPlay::getDuration(uint32_t* seconds) {
    CAutoLock lock(&m_videoLock);
    const std::list<MediaSample*>& samples = m_videoPlay.samples;
    *seconds = samples.empty() ? 0 : (samples.back()->ulTime - samples.front()->ulTime) / 1000u;
    return 0;
}

int32_t CMediaOneMinPlay::getPlayPosition(uint32_t* seconds) {
    CAutoLock lock(&m_videoLock);
    *seconds = m_replayPositionMs / 1000u;
    return 0;
}

int32_t CMediaOneMinPlay::seekAudioTo(uint32_t timeMs) {
    CAutoLock lock(&m_audioLock);
    if (m_audioPlay.samples.empty()) {
        return 0;
    }
    int32_t count = 0;
    for (const MediaSample* sample : m_audioPlay.samples) {
        if (sample->ulTime >= timeMs) {
            break;
        }
        ++count;
    }
    m_audioReadIndex = count;
    return 0;
}
