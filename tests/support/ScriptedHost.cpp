#include "support/ScriptedHost.h"

#include <algorithm>
#include <cstring>

#include "Common/TimeFunctions.h"
#include "simcam/SimulatedCamera.h"

ScriptedHost::ScriptedHost()
    : m_funcs{&ScriptedHost::getSample, nullptr, &ScriptedHost::getMaxDelay,
              &ScriptedHost::getMaxTs},
      m_context{this, this, &m_funcs, this} {}

size_t ScriptedHost::addCamera(const simcam::CameraSettings& settings, uint32_t durationMs,
                               std::optional<uint32_t> firstTimeMs) {
    simcam::SimulatedCamera camera(settings);
    std::lock_guard<std::mutex> guard(m_mutex);
    const uint32_t offset = std::max(m_tracks[0].endMs, m_tracks[1].endMs);
    const uint32_t firstMs = firstTimeMs.value_or(10000 + offset);
    size_t added = 0;
    for (const bool video : {true, false}) {
        if (video ? settings.videoCodec == simcam::VideoCodec::None
                  : settings.audioCodec == simcam::AudioCodec::None) {
            continue;
        }
        Track& track = m_tracks[video];
        Item description;
        description.dueMs = offset;
        description.timeMs = firstMs;
        description.flags = MEDIA_FLAG_DESCRIPTION;
        description.withData = false;
        description.withInfo = true;
        description.info = video ? camera.videoStreamInfo() : camera.audioStreamInfo();
        track.items.push_back(description);
        track.endMs = offset + durationMs;
        simcam::EncodedUnit unit;
        while ((video ? camera.nextVideo(&unit) : camera.nextAudio(&unit)) &&
               unit.timeMs < durationMs) {
            Item item;
            item.dueMs = offset + unit.timeMs;
            item.timeMs = firstMs + unit.timeMs;
            item.flags = unit.keyFrame ? MEDIA_FLAG_KEYFRAME : 0;
            item.data = std::move(unit.data);
            track.items.push_back(std::move(item));
            added += video;
        }
    }
    return added;
}

void ScriptedHost::addItem(int32_t track, const Item& item) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_tracks[track == TRACK_VIDEO].items.push_back(item);
}

void ScriptedHost::setCallHook(std::function<void(Call)> hook) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_hook = std::move(hook);
}

void ScriptedHost::hook(Call call) const {
    std::function<void(Call)> hook;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        hook = m_hook;
    }
    if (hook) {
        hook(call);
    }
}

void ScriptedHost::start() {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_startMs = RIVO_Common_Player::timeMs();
    m_started = true;
}

bool ScriptedHost::available_Locked(const Item& item) const {
    return available_Locked(item, RIVO_Common_Player::timeMs());
}

bool ScriptedHost::available_Locked(const Item& item, uint32_t nowMs) const {
    return m_started && nowMs - m_startMs >= item.dueMs + m_holdBackMs;
}

size_t ScriptedHost::count(int32_t track) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_tracks[track == TRACK_VIDEO].items.size();
}

uint32_t ScriptedHost::timeOf(int32_t track, size_t index) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_tracks[track == TRACK_VIDEO].items.at(index).timeMs;
}

std::vector<uint32_t> ScriptedHost::pictureTimes(size_t from) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    std::vector<uint32_t> times;
    for (size_t i = from; i < m_tracks[1].items.size(); ++i) {
        if (!(m_tracks[1].items[i].flags & MEDIA_FLAG_DESCRIPTION)) {
            times.push_back(m_tracks[1].items[i].timeMs);
        }
    }
    return times;
}

size_t ScriptedHost::delivered(int32_t track) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_tracks[track == TRACK_VIDEO].next;
}

uint32_t ScriptedHost::newestAvailable(int32_t track) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    uint32_t newest = 0;
    // The clock read once: in a virtual machine a read can cost a system
    // call, and an idle player asks every poll over the whole script.
    const uint32_t nowMs = RIVO_Common_Player::timeMs();
    for (const Item& item : m_tracks[track == TRACK_VIDEO].items) {
        if (!available_Locked(item, nowMs)) {
            break;
        }
        newest = item.timeMs;
    }
    return newest;
}

std::vector<std::pair<int32_t, std::string>> ScriptedHost::events() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_events;
}

void ScriptedHost::forgetPast() {
    std::lock_guard<std::mutex> guard(m_mutex);
    for (Track& track : m_tracks) {
        // The last sample handed out stays: the player may still read it.
        const size_t forgotten = track.next > 0 ? track.next - 1 : 0;
        track.items.erase(track.items.begin(), track.items.begin() + forgotten);
        track.next -= forgotten;
    }
    m_events.clear();
}

void ScriptedHost::onEvent(void*, int32_t code, const char* text) {
    hook(Call::Event);
    std::lock_guard<std::mutex> guard(m_mutex);
    m_events.emplace_back(code, text ? text : "");
}

int32_t ScriptedHost::getSample(void* ctx, int32_t track, MediaSample* out) {
    ScriptedHost* self = static_cast<ScriptedHost*>(ctx);
    self->hook(track == TRACK_VIDEO ? Call::VideoSample : Call::AudioSample);
    ++self->m_calls[track == TRACK_VIDEO];
    std::lock_guard<std::mutex> guard(self->m_mutex);
    Track& t = self->m_tracks[track == TRACK_VIDEO];
    if (self->m_failing || (track != TRACK_VIDEO && track != TRACK_AUDIO) ||
        t.next >= t.items.size() || !self->available_Locked(t.items[t.next])) {
        return -1;
    }
    Item& item = t.items[t.next];
    std::memset(out, 0, sizeof(*out));
    out->ulTime = item.timeMs;
    out->ulFlags = item.flags;
    out->AVFrameSeq = static_cast<uint32_t>(t.next);
    out->pStreamInfo = item.withInfo ? &item.info : nullptr;
    if (item.withData) {
        out->pData = item.data.data();
        out->ulsize = item.claimedSize ? item.claimedSize : static_cast<uint32_t>(item.data.size());
    }
    ++t.next;
    return 0;
}

int32_t ScriptedHost::getMaxDelay(void* ctx, uint32_t* outMs) {
    static_cast<ScriptedHost*>(ctx)->hook(Call::MaxDelay);
    *outMs = static_cast<ScriptedHost*>(ctx)->m_maxDelayMs;
    return 0;
}

int32_t ScriptedHost::getMaxTs(void* ctx, int32_t track, uint32_t* outMs) {
    static_cast<ScriptedHost*>(ctx)->hook(Call::MaxTs);
    *outMs = static_cast<ScriptedHost*>(ctx)->newestAvailable(track);
    return 0;
}
