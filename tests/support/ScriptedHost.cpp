#include "support/ScriptedHost.h"

#include <algorithm>
#include <cstring>

#include "Common/TimeFunctions.h"
#include "simcam/SimulatedCamera.h"

ScriptedHost::ScriptedHost(uint32_t baseTimeMs)
    : m_baseTimeMs(baseTimeMs),
      m_funcs{&ScriptedHost::getSample, nullptr, &ScriptedHost::getMaxDelay,
              &ScriptedHost::getMaxTs},
      m_context{this, this, &m_funcs, this} {}

ScriptedHost::~ScriptedHost() = default;

size_t ScriptedHost::addCamera(const simcam::CameraSettings& settings, uint32_t durationMs) {
    uint32_t offset = 0;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        offset = std::max(m_video.endMs, m_audio.endMs);
    }
    return addCameraAt(settings, durationMs, m_baseTimeMs + offset);
}

size_t ScriptedHost::addCameraAt(const simcam::CameraSettings& settings, uint32_t durationMs,
                                 uint32_t firstTimeMs) {
    simcam::SimulatedCamera camera(settings);
    std::lock_guard<std::mutex> guard(m_mutex);
    const uint32_t offset = std::max(m_video.endMs, m_audio.endMs);
    auto describe = [&](Track& track, const StreamInfo& info) {
        Item item;
        item.dueMs = offset;
        item.timeMs = firstTimeMs;
        item.flags = MEDIA_FLAG_DESCRIPTION;
        item.withData = false;
        item.withInfo = true;
        item.info = info;
        track.items.push_back(item);
        track.endMs = offset + durationMs;
    };
    size_t added = 0;
    simcam::EncodedUnit unit;
    if (settings.videoCodec != simcam::VideoCodec::None) {
        describe(m_video, camera.videoStreamInfo());
        while (camera.nextVideo(&unit) && unit.timeMs < durationMs) {
            Item item;
            item.dueMs = offset + unit.timeMs;
            item.timeMs = firstTimeMs + unit.timeMs;
            item.flags = unit.keyFrame ? MEDIA_FLAG_KEYFRAME : 0;
            item.data = unit.data;
            m_video.items.push_back(std::move(item));
            ++added;
        }
    }
    if (settings.audioCodec != simcam::AudioCodec::None) {
        describe(m_audio, camera.audioStreamInfo());
        while (camera.nextAudio(&unit) && unit.timeMs < durationMs) {
            Item item;
            item.dueMs = offset + unit.timeMs;
            item.timeMs = firstTimeMs + unit.timeMs;
            item.data = unit.data;
            m_audio.items.push_back(std::move(item));
        }
    }
    return added;
}

void ScriptedHost::addItem(int32_t track, const Item& item) {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (Track* t = track_Locked(track)) {
        t->items.push_back(item);
    }
}

void ScriptedHost::start() {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_startMs = RIVO_Common_Player::timeMs();
    m_started = true;
}

bool ScriptedHost::available_Locked(const Item& item) const {
    if (!m_started) {
        return false;
    }
    return !m_live || RIVO_Common_Player::timeMs() - m_startMs >= item.dueMs + m_holdBackMs;
}

ScriptedHost::Track* ScriptedHost::track_Locked(int32_t track) {
    return track == TRACK_VIDEO ? &m_video : track == TRACK_AUDIO ? &m_audio : nullptr;
}

const ScriptedHost::Track* ScriptedHost::track_Locked(int32_t track) const {
    return track == TRACK_VIDEO ? &m_video : track == TRACK_AUDIO ? &m_audio : nullptr;
}

size_t ScriptedHost::count(int32_t track) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    const Track* t = track_Locked(track);
    return t ? t->items.size() : 0;
}

uint32_t ScriptedHost::timeOf(int32_t track, size_t index) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return track_Locked(track)->items.at(index).timeMs;
}

bool ScriptedHost::isDescription(int32_t track, size_t index) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return (track_Locked(track)->items.at(index).flags & MEDIA_FLAG_DESCRIPTION) != 0;
}

size_t ScriptedHost::delivered(int32_t track) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    const Track* t = track_Locked(track);
    return t ? t->next : 0;
}

uint32_t ScriptedHost::newestAvailable_Locked(const Track& track) const {
    uint32_t newest = 0;
    for (const Item& item : track.items) {
        if (!available_Locked(item)) {
            break;
        }
        newest = item.timeMs;
    }
    return newest;
}

uint32_t ScriptedHost::newestAvailable(int32_t track) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    const Track* t = track_Locked(track);
    return t ? newestAvailable_Locked(*t) : 0;
}

std::vector<std::pair<int32_t, std::string>> ScriptedHost::events() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_events;
}

void ScriptedHost::onEvent(void*, int32_t code, const char* text) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_events.emplace_back(code, text ? text : "");
}

int32_t ScriptedHost::getSample(void* ctx, int32_t track, MediaSample* out) {
    ScriptedHost* self = static_cast<ScriptedHost*>(ctx);
    ++(track == TRACK_VIDEO ? self->m_videoCalls : self->m_audioCalls);
    if (self->m_failing) {
        return -1;
    }
    std::lock_guard<std::mutex> guard(self->m_mutex);
    Track* t = self->track_Locked(track);
    if (!t || t->next >= t->items.size() || !self->available_Locked(t->items[t->next])) {
        return -1;
    }
    Item& item = t->items[t->next];
    std::memset(out, 0, sizeof(*out));
    out->ulTime = item.timeMs;
    out->ulFlags = item.flags;
    out->AVFrameSeq = static_cast<uint32_t>(t->next);
    out->pStreamInfo = item.withInfo ? &item.info : nullptr;
    if (item.withData) {
        out->pData = item.data.data();
        out->ulsize = static_cast<uint32_t>(item.data.size());
    }
    ++t->next;
    return 0;
}

int32_t ScriptedHost::getMaxDelay(void* ctx, uint32_t* outMs) {
    ScriptedHost* self = static_cast<ScriptedHost*>(ctx);
    const int32_t delay = self->m_maxDelayMs;
    if (delay < 0) {
        return -1;
    }
    *outMs = static_cast<uint32_t>(delay);
    return 0;
}

int32_t ScriptedHost::getMaxTs(void* ctx, int32_t track, uint32_t* outMs) {
    *outMs = static_cast<ScriptedHost*>(ctx)->newestAvailable(track);
    return 0;
}
