#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "IMediaSource.h"

// The host's side of the player's sample callbacks: a queue between a source
// and the player's two loops, with the MediaSourceFuncs table that the
// player calls.
//
// Each track first hands out its stream description, then its units in the
// source's order. With live pacing a unit becomes available when its time
// has come (its time in ms after the queue was made), as from a camera on the
// network; a hold-back delay keeps everything back until that many ms have
// passed, like a stalled link, so the player has a backlog to catch up on.
// With playback pacing every unit read is available at once and the player's
// own clock sets the pace. With arrival pacing (a network stream) a unit is
// available once it has been read, so the network sets the pace; the
// schedule is then the earliest arrival seen: time zero is the smallest
// difference between a unit's arrival and its time stamp.
//
// getMaxTs reports the newest time the queue has received (available units,
// taken or not) for a track; getMaxDelay how far the stream is behind its
// schedule now: the time since the newest video unit (audio without video)
// was due, 0 in playback.
//
// A description unit from the source (a stream that connected anew) is
// handed out as the track's stream description in its place in the order.
//
// The player's loops, the feeding thread and the status reader may call in
// at the same time; the source is read by fill() only.
class LiveQueue {
public:
    enum class Pacing { Live, Arrival, Playback };
    // Milliseconds of a steady clock.
    using Clock = std::function<int64_t()>;

    // Live pacing reads this far ahead of the schedule.
    static constexpr int64_t kLookAheadMs = 500;
    // Playback and arrival pacing read until this many units wait.
    static constexpr size_t kPlaybackUnits = 400;

    // Time zero of the schedule is the clock's time now.
    LiveQueue(IMediaSource* source, Pacing pacing, uint32_t holdBackMs, Clock clock);
    ~LiveQueue();

    LiveQueue(const LiveQueue&) = delete;
    LiveQueue& operator=(const LiveQueue&) = delete;

    // For HostContext: the callback table and its context.
    MediaSourceFuncs* functions() { return &m_functions; }
    void* context() { return this; }

    // Reads from the source until the queue holds what the pacing asks for.
    // False once the source has ended (or failed).
    bool fill();
    // A thread that calls fill() every few ms until the source ends or
    // stopFeeding() (the destructor also stops it).
    void startFeeding();
    void stopFeeding();

    int32_t getSample(int32_t track, MediaSample* out);
    int32_t getMaxTs(int32_t track, uint32_t* outMs);
    int32_t getMaxDelay(uint32_t* outMs);

    // What the player has taken so far, for the status line.
    struct Progress {
        uint32_t videoTaken = 0;  // video units, descriptions not counted
        uint32_t audioTaken = 0;
        uint32_t firstVideoMs = 0;  // time of the first video unit taken
        uint32_t firstAudioMs = 0;
        uint32_t lastVideoMs = 0;  // time of the last video unit taken
        uint32_t lastAudioMs = 0;
        bool drained = false;  // the source has ended and everything was taken
        std::string error;     // why the source ended early, if it did
    };
    Progress progress() const;

private:
    struct Track {
        StreamInfo info;
        bool described = false;
        std::deque<SourceUnit> waiting;
        // The unit last handed out: its bytes stay valid until the next one.
        SourceUnit current;
        uint32_t taken = 0;
        uint32_t firstTakenMs = 0;
        bool hasNewest = false;
        uint32_t newestMs = 0;  // newest time received (available) so far
    };

    Track& track(int32_t number) { return number == TRACK_AUDIO ? m_audio : m_video; }
    // Hands out the track's description (t.current.info with a description unit).
    static void describe(Track* t, MediaSample* out);
    int64_t elapsed_Locked() const;
    bool available_Locked(const SourceUnit& unit, int64_t elapsed) const;
    // Marks the available units of the track as received.
    void receive_Locked(Track* track, int64_t elapsed);
    // True while fill() should read another unit.
    bool wantMore_Locked(int64_t elapsed) const;
    void feed();

    IMediaSource* m_source;
    const Pacing m_pacing;
    const uint32_t m_holdBackMs;
    const Clock m_clock;
    int64_t m_startMs;  // time zero of the schedule; moves earlier with arrival pacing
    MediaSourceFuncs m_functions;

    mutable std::mutex m_mutex;
    Track m_video;
    Track m_audio;
    int64_t m_lastReadMs;  // time of the last unit read from the source, -1 before
    bool m_ended;
    std::string m_error;

    std::thread m_feeder;
    std::mutex m_feederMutex;
    std::condition_variable m_feederWake;
    bool m_stopFeeding;
};
