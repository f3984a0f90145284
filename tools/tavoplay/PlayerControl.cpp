#include "PlayerControl.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

#include "Console.h"

PlayerControl::PlayerControl(Console* console, const std::string& prefix)
    : m_console(console),
      m_prefix(prefix),
      m_host{nullptr, nullptr, nullptr, nullptr},
      m_player(nullptr),
      m_paused(false),
      m_replaying(false),
      m_replayPaused(false),
      m_volume(100),
      m_muted(false),
      m_replayPosition(-1),
      m_replayEvents(0),
      m_pictureShown(false) {}

PlayerControl::~PlayerControl() {
    if (m_player) {
        stop();
        destroyMediaPlayerInstance(&m_player);
    }
}

bool PlayerControl::create(MediaSourceFuncs* source, void* sourceContext, const Settings& settings,
                           std::string* error) {
    m_host = HostContext{this, this, source, sourceContext};
    if (!createMediaPlayerInstance(&m_host, &m_player)) {
        *error = "the player could not be created";
        return false;
    }
    int32_t playMode = settings.playMode;
    int32_t renderKind = settings.renderKind;
    int32_t frameStore = 1;
    m_player->setParam(PARAM_WINDOW, settings.window);
    m_player->setParam(PARAM_PLAY_MODE, &playMode);
    m_player->setParam(PARAM_RENDER_KIND, &renderKind);
    m_player->setParam(PARAM_FRAME_STORE, &frameStore);
    return true;
}

void PlayerControl::run() {
    m_player->run();
}

void PlayerControl::stop() {
    if (!m_recordingPath.empty()) {
        stopRecording();
    }
    m_player->stop();
}

void PlayerControl::togglePause() {
    m_paused = !m_paused;
    if (m_paused) {
        m_player->pause();
        say("paused");
    } else {
        m_player->resume();
        say("playing");
    }
}

void PlayerControl::toggleReplay() {
    if (m_replaying) {
        if (m_replayPaused) {
            toggleReplayPause();
        }
        int32_t off = 0;
        m_player->setParam(PARAM_STORE_PLAYBACK, &off);
        m_replaying = false;
        say("back to live");
        return;
    }
    m_replayPosition = -1;
    int32_t on = 1;
    m_player->setParam(PARAM_STORE_PLAYBACK, &on);
    m_replaying = true;
    say("replay of the stored " + std::to_string(storedSeconds()) + " s");
}

void PlayerControl::seekTo(uint32_t seconds) {
    if (!m_replaying) {
        say("seeking works in replay (r)");
        return;
    }
    uint32_t target = std::max<uint32_t>(seconds, 1);
    m_player->setParam(PARAM_STORE_SEEK, &target);
    say("replay: seek to " + std::to_string(target) + " s");
}

void PlayerControl::seekBy(int seconds) {
    const int position = std::max(replayPosition(), 0);
    const int stored = static_cast<int>(storedSeconds());
    seekTo(static_cast<uint32_t>(std::max(1, std::min(position + seconds, stored))));
}

void PlayerControl::toggleReplayPause() {
    if (!m_replaying) {
        say("pausing the replay works in replay (r)");
        return;
    }
    m_replayPaused = !m_replayPaused;
    int32_t value = m_replayPaused ? 1 : 0;
    m_player->setParam(PARAM_STORE_PAUSE, &value);
    say(m_replayPaused ? "replay paused" : "replay playing");
}

bool PlayerControl::snapshot(const std::string& path) {
    const int32_t result = m_player->getParam(PARAM_SNAPSHOT, const_cast<char*>(path.c_str()));
    if (result != 0) {
        say("snapshot failed (no picture yet?): " + path);
        return false;
    }
    say("snapshot: " + path);
    return true;
}

void PlayerControl::startRecording(const std::string& path) {
    int32_t on = 1;
    m_player->setParam(PARAM_RECORD, &on);
    if (m_player->setParam(PARAM_RECORD_FILE, const_cast<char*>(path.c_str())) != 0) {
        int32_t off = 0;
        m_player->setParam(PARAM_RECORD, &off);
        say("cannot record to " + path + " (no such directory, or not writable)");
        return;
    }
    m_recordingPath = path;
    say("recording to " + path);
}

bool PlayerControl::stopRecording() {
    int32_t off = 0;
    m_player->setParam(PARAM_RECORD, &off);
    const std::string path = m_recordingPath;
    m_recordingPath.clear();
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || info.st_size == 0) {
        say("recording " + path +
            " was not written (a recording starts at a key frame with its parameter sets)");
        return false;
    }
    say("recording finished: " + path + " (" + std::to_string((info.st_size + 1023) / 1024) +
        " KiB)");
    return true;
}

void PlayerControl::changeVolume(int delta) {
    m_volume = std::max(0, std::min(100, m_volume + delta));
    applyVolume();
    say("volume " + std::to_string(m_volume) + (m_muted ? " (muted: not the selected tile)" : ""));
}

void PlayerControl::setMuted(bool muted) {
    if (muted != m_muted) {
        m_muted = muted;
        applyVolume();
    }
}

void PlayerControl::applyVolume() {
    int32_t volume = m_muted ? 0 : m_volume;
    m_player->setParam(PARAM_VOLUME, &volume);
}

void PlayerControl::say(const std::string& text) const {
    m_console->message(m_prefix + text);
}

void PlayerControl::setRenderKind(int32_t kind) {
    m_player->setParam(PARAM_RENDER_KIND, &kind);
    say(std::string("renderer: ") + renderKindName(kind) +
        ", used from the next time the player creates its renderer");
}

void PlayerControl::repaint() {
    m_player->setParam(PARAM_REPAINT, nullptr);
}

uint32_t PlayerControl::storedSeconds() const {
    uint32_t seconds = 0;
    m_player->getParam(PARAM_STORE_DURATION, &seconds);
    return seconds;
}

void PlayerControl::onEvent(void*, int32_t code, const char* text) {
    if (code == PLAYER_EVENT_FIRST_PICTURE) {
        m_pictureShown.store(true, std::memory_order_relaxed);
        say("event 502: first picture, the clock starts");
        return;
    }
    if (code == PLAYER_EVENT_REPLAY_POSITION) {
        m_replayEvents.fetch_add(1, std::memory_order_relaxed);
        const int position = text ? std::atoi(text) : 0;
        // One line per second of replay, not one per picture.
        if (m_replayPosition.exchange(position, std::memory_order_relaxed) != position) {
            say("event 601: replay at " + std::to_string(position) + " s");
        }
        return;
    }
    say("event " + std::to_string(code) + ": " + (text ? text : ""));
}

const char* PlayerControl::renderKindName(int32_t kind) {
    switch (kind) {
        case RENDER_KIND_DDRAW:
            return "DirectDraw (0x202)";
        case RENDER_KIND_D3D:
            return "Direct3D (0x203)";
        default:
            return "Direct3D shader (0x204)";
    }
}
