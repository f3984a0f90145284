#include "StatusReport.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "PlayerControl.h"

StatusReport::StatusReport(bool live)
    : m_live(live), m_hasPrevious(false), m_previousMs(0), m_previousReplayPictures(0) {}

std::string StatusReport::line(const PlayerControl& player, const LiveQueue::Progress& progress,
                               bool hasVideo, int64_t nowMs) {
    const uint32_t mediaMs = hasVideo ? progress.lastVideoMs : progress.lastAudioMs;
    const uint32_t replayPictures = player.replayPictures();
    double seconds = 0;
    if (m_hasPrevious && nowMs > m_previousMs) {
        seconds = (nowMs - m_previousMs) / 1000.0;
    }
    double picturesPerSecond = 0;
    double speed = 0;
    if (seconds > 0) {
        const uint32_t previousMediaMs = hasVideo ? m_previous.lastVideoMs : m_previous.lastAudioMs;
        speed = mediaMs >= previousMediaMs ? (mediaMs - previousMediaMs) / 1000.0 / seconds : 0;
        if (player.replaying()) {
            picturesPerSecond = (replayPictures - m_previousReplayPictures) / seconds;
        } else if (!player.paused()) {
            picturesPerSecond = (progress.videoTaken - m_previous.videoTaken) / seconds;
        }
    }
    m_hasPrevious = true;
    m_previousMs = nowMs;
    m_previous = progress;
    m_previousReplayPictures = replayPictures;

    char text[256];
    std::string status;
    if (player.replaying()) {
        const int position = player.replayPosition();
        status = position >= 0 ? "replay at " + std::to_string(position) + " s" : "replay starting";
    } else {
        std::snprintf(text, sizeof(text), "%s %.2f s",
                      player.paused() ? "paused" : (m_live ? "live" : "playing"), mediaMs / 1000.0);
        status = text;
    }
    if (player.replayPaused()) {
        status += " (paused)";
    }
    // Rates need a previous line to measure from.
    if (seconds > 0) {
        std::snprintf(text, sizeof(text), " | %.0f pictures/s", picturesPerSecond);
        status += text;
        // The replay runs on the player's clock, which the host cannot see.
        if (!player.replaying()) {
            std::snprintf(text, sizeof(text), " | speed %.2f", speed);
            status += text;
        }
    }
    // Live, the frame store holds everything the player took, up to a
    // minute; the player reports the length of the minute being replayed.
    const uint32_t firstMs = hasVideo ? progress.firstVideoMs : progress.firstAudioMs;
    const uint32_t stored =
        player.replaying() ? player.storedSeconds()
                           : std::min(kStoreSeconds, (mediaMs - std::min(mediaMs, firstMs)) / 1000);
    std::snprintf(text, sizeof(text), " | stored %u s | ", stored);
    status += text;
    const std::string& recording = player.recordingPath();
    if (recording.empty()) {
        status += "rec off";
    } else {
        struct stat info;
        if (stat(recording.c_str(), &info) == 0) {
            std::snprintf(text, sizeof(text), "rec %s %.1f MB", recording.c_str(),
                          info.st_size / 1e6);
            status += text;
        } else {
            status += "rec " + recording + " (waiting for key frames)";
        }
    }
    return status;
}
