#pragma once

#include <cstdint>
#include <string>

#include "LiveQueue.h"

class PlayerControl;

// The once-a-second status line: media time, pictures per second, the clock's
// speed, seconds in the frame store and the recording. The host cannot look
// into the player, so it measures from what the player takes and reports:
// pictures per second are the video samples the player took to show (in
// replay, the positions it reported), and the speed is media time gained per
// second of wall time (not shown in replay).
class StatusReport {
public:
    // What the player's frame store keeps.
    static constexpr uint32_t kStoreSeconds = 60;

    // live: the source is paced like a camera (otherwise a file plays back).
    explicit StatusReport(bool live);

    // The line for now (a steady clock in ms); rates cover the time since the
    // previous line.
    std::string line(const PlayerControl& player, const LiveQueue::Progress& progress,
                     bool hasVideo, int64_t nowMs);

private:
    const bool m_live;
    bool m_hasPrevious;
    int64_t m_previousMs;
    LiveQueue::Progress m_previous;
    uint32_t m_previousReplayPictures;
};
