#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "simcam/CameraSettings.h"
#include "tavoplayer/ITavoMediaPlayer.h"

// A host that feeds a player through the real callbacks, the way a camera
// viewer does. Each track is a script of samples: stream descriptions,
// access units and audio frames of the simulated camera, or samples a test
// makes up (no data, garbage, odd times). A sample becomes available once
// its due time has come on the engine's time source, counted from start();
// getMaxTs reports the newest available sample. Events from the player are
// recorded.
//
// The callbacks run on the player's loop threads; every operation is safe
// from any thread.
class ScriptedHost : public IPlayerEventSink {
public:
    // One scripted sample. dueMs counts from start(); the sample's ulTime is timeMs.
    struct Item {
        uint32_t dueMs = 0;
        uint32_t timeMs = 0;
        uint32_t flags = 0;
        std::vector<uint8_t> data;
        bool withData = true;  // false: pData null, ulsize 0
        bool withInfo = false;
        StreamInfo info{};
        uint32_t claimedSize = 0;  // non-zero: the ulsize handed out, whatever data holds
    };

    ScriptedHost();

    HostContext* context() { return &m_context; }

    // Appends durationMs of the camera's streams, each track starting with its
    // description, right after what the tracks already hold. Sample times
    // count from firstTimeMs (they may wrap at 2^32), by default 10000 plus
    // the media time since the first segment. Returns the number of video
    // access units added.
    size_t addCamera(const simcam::CameraSettings& settings, uint32_t durationMs,
                     std::optional<uint32_t> firstTimeMs = std::nullopt);
    // Appends a made-up sample to a track.
    void addItem(int32_t track, const Item& item);

    // Starts the source's live clock: samples become available from now on.
    void start();
    // Samples become available this much later than they are due (a slow network).
    void setHoldBack(uint32_t ms) { m_holdBackMs = ms; }
    // What getMaxDelay answers.
    void setMaxDelay(uint32_t ms) { m_maxDelayMs = ms; }
    // Makes getSample fail for both tracks while set.
    void setFailing(bool failing) { m_failing = failing; }

    // The player's calls into the host.
    enum class Call { VideoSample, AudioSample, MaxDelay, MaxTs, Event };
    // Runs at the start of every call (on the player's thread, before the
    // host's own lock is taken), as a host's code would: it may lock, or
    // call the player back.
    void setCallHook(std::function<void(Call)> hook);

    // Scripted samples of a track, and the ulTime of the index-th one.
    size_t count(int32_t track) const;
    uint32_t timeOf(int32_t track, size_t index) const;
    // Video sample times from an index on, descriptions left out.
    std::vector<uint32_t> pictureTimes(size_t from = 0) const;
    // getSample calls for the track so far, answered or not.
    uint64_t calls(int32_t track) const { return m_calls[track == TRACK_VIDEO]; }
    // Samples of the track handed out so far.
    size_t delivered(int32_t track) const;
    bool drained(int32_t track) const { return delivered(track) == count(track); }
    // The newest sample time of the track that is available now (getMaxTs).
    uint32_t newestAvailable(int32_t track) const;
    std::vector<std::pair<int32_t, std::string>> events() const;
    // Drops the samples handed out before the last one and the events
    // recorded so far, so that a host fed for hours holds only what is still
    // to come. Indices (count, timeOf, delivered) then count from the first
    // sample kept; samples kept stay where they are in memory.
    void forgetPast();

    void onEvent(void* eventContext, int32_t code, const char* text) override;

private:
    struct Track {
        std::deque<Item> items;
        size_t next = 0;
        uint32_t endMs = 0;  // media time after the last camera segment
    };

    static int32_t getSample(void* ctx, int32_t track, MediaSample* out);
    static int32_t getMaxDelay(void* ctx, uint32_t* outMs);
    static int32_t getMaxTs(void* ctx, int32_t track, uint32_t* outMs);

    bool available_Locked(const Item& item) const;
    bool available_Locked(const Item& item, uint32_t nowMs) const;
    void hook(Call call) const;

    mutable std::mutex m_mutex;
    Track m_tracks[2];                                      // audio, video; guarded by m_mutex
    uint32_t m_startMs = 0;                                 // guarded by m_mutex
    bool m_started = false;                                 // guarded by m_mutex
    std::vector<std::pair<int32_t, std::string>> m_events;  // guarded by m_mutex
    std::function<void(Call)> m_hook;                       // guarded by m_mutex
    std::atomic<uint32_t> m_holdBackMs{0};
    std::atomic<uint32_t> m_maxDelayMs{0};
    std::atomic<bool> m_failing{false};
    std::atomic<uint64_t> m_calls[2] = {{0}, {0}};
    MediaSourceFuncs m_funcs;
    HostContext m_context;
};
