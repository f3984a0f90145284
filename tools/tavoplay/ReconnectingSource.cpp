#include "ReconnectingSource.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

ReconnectingSource::ReconnectingSource(Connect connect, const std::string& name,
                                       Backoff::Clock clock)
    : m_connect(std::move(connect)),
      m_clock(clock),
      m_interrupted(false),
      m_video{STREAM_VIDEO, CODEC_NONE, 0, 0},
      m_audio{STREAM_AUDIO, CODEC_NONE, 0, 0},
      m_description(name + " (not connected)"),
      m_pendingDescriptions(0),
      m_rebase(false),
      m_offsetMs(0),
      m_lastTimeMs(-1),
      m_lastReadMs(0),
      m_sequences{0, 0},
      m_backoff(std::move(clock)) {}

bool ReconnectingSource::start() {
    m_source = m_connect(&m_interrupted, &m_error);
    if (!m_source) {
        // A camera that is down when the viewer starts is waited for like
        // one that went away: read() connects once the backoff allows.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_state.connected = false;
        m_state.lastError = m_error;
        m_backoff.failed();
        return false;
    }
    m_video = m_source->videoStreamInfo();
    m_audio = m_source->audioStreamInfo();
    m_description = m_source->describe();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_state.connections = 1;
    return true;
}

ReconnectingSource::State ReconnectingSource::state() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    State state = m_state;
    state.failures = m_backoff.failures();
    state.retryInMs = state.connected ? 0 : m_backoff.waitMs();
    return state;
}

bool ReconnectingSource::read(SourceUnit* unit) {
    while (!m_interrupted) {
        if (!m_source && !reconnect()) {
            return false;
        }
        if (m_pendingDescriptions > 0) {
            const bool video = m_pendingDescriptions-- == 2;
            *unit = SourceUnit();
            unit->track = video ? TRACK_VIDEO : TRACK_AUDIO;
            unit->describes = true;
            unit->info = video ? m_source->videoStreamInfo() : m_source->audioStreamInfo();
            unit->timeMs = static_cast<uint32_t>(std::max<int64_t>(m_lastTimeMs, 0));
            return true;
        }
        if (m_source->read(unit)) {
            const int64_t now = m_clock();
            if (m_rebase) {
                // The new connection goes on from the newest time handed out,
                // moved on by the time the stream was away.
                m_offsetMs = std::max<int64_t>(m_lastTimeMs, 0) + (now - m_lastReadMs) -
                             static_cast<int64_t>(unit->timeMs);
                m_rebase = false;
            }
            const int64_t timeMs = std::max<int64_t>(0, unit->timeMs + m_offsetMs);
            unit->timeMs = static_cast<uint32_t>(timeMs);
            unit->sequence = m_sequences[unit->track == TRACK_AUDIO ? 1 : 0]++;
            m_lastTimeMs = std::max(m_lastTimeMs, timeMs);
            m_lastReadMs = now;
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_state.connected || m_backoff.failures() > 0) {
                m_state.connected = true;
                m_backoff.succeeded();
            }
            return true;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_state.lastError = m_source->error().empty() ? "the stream ended" : m_source->error();
        m_state.connected = false;
        m_backoff.failed();
        m_source.reset();
    }
    return false;
}

bool ReconnectingSource::reconnect() {
    for (;;) {
        int64_t waitMs = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            waitMs = m_backoff.waitMs();
        }
        if (m_interrupted) {
            return false;
        }
        if (waitMs > 0) {
            std::this_thread::sleep_for(
                std::chrono::milliseconds(std::min<int64_t>(waitMs, kWaitSliceMs)));
            continue;
        }
        std::string error;
        std::unique_ptr<IMediaSource> source = m_connect(&m_interrupted, &error);
        if (m_interrupted) {
            return false;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        if (source) {
            m_source = std::move(source);
            ++m_state.connections;
            m_pendingDescriptions = 2;
            m_rebase = m_lastTimeMs >= 0;
            return true;
        }
        m_state.lastError = error;
        m_backoff.failed();
    }
}
