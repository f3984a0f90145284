#include "tavoplay/LiveQueue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A source of H.264 and AAC that hands out the units it was given, then ends
// with the error it was given.
class ScriptedSource : public IMediaSource {
public:
    explicit ScriptedSource(const std::string& endError = "") : m_endError(endError) {}

    void add(int32_t track, uint32_t timeMs, bool keyFrame = false) {
        SourceUnit unit;
        unit.track = track;
        unit.timeMs = timeMs;
        unit.keyFrame = keyFrame;
        unit.data = {static_cast<uint8_t>(track), static_cast<uint8_t>(timeMs / 20)};
        m_units.push_back(unit);
    }
    size_t readCount() const { return m_next; }

    StreamInfo videoStreamInfo() const override { return {STREAM_VIDEO, VIDEO_H264, 320, 240}; }
    StreamInfo audioStreamInfo() const override {
        return {STREAM_AUDIO, AUDIO_AAC, 8000, 1 | (16u << 16)};
    }
    bool read(SourceUnit* unit) override {
        if (m_next == m_units.size()) {
            m_error = m_endError;
            return false;
        }
        *unit = m_units[m_next++];
        return true;
    }
    const std::string& error() const override { return m_error; }
    std::string describe() const override { return "scripted"; }

private:
    std::vector<SourceUnit> m_units;
    size_t m_next = 0;
    std::string m_error;
    std::string m_endError;
};

}  // namespace

// Video units every 40 ms, the clock moved on by elapsedMs before the queue
// is filled: what was read from the source, what the player is told
// (getMaxTs, getMaxDelay), and what it can take, in order (the queue is
// filled again after each unit taken).
TEST(LiveQueueTest, PacingDecidesWhatIsReadAndHandedOut) {
    using Pacing = LiveQueue::Pacing;
    struct Case {
        Pacing pacing;
        uint32_t holdBackMs;
        int64_t elapsedMs;
        size_t read;
        uint32_t maxTsMs;
        uint32_t maxDelayMs;
        uint32_t handedOut;
    };
    const uint32_t units = LiveQueue::kPlaybackUnits + 100;
    for (const Case& c : {
             // Live: read up to the first unit at or past the look-ahead,
             // available when due.
             Case{Pacing::Live, 0, 0, 14, 0, 0, 1},
             Case{Pacing::Live, 0, 1000, 39, 1000, 0, 26},
             // A hold-back stalls the stream, then delivers the backlog; the
             // delay counts from the newest unit's time.
             Case{Pacing::Live, 2000, 1000, 39, 0, 1000, 0},
             Case{Pacing::Live, 2000, 2030, 65, 2000, 30, 51},
             // Playback: every unit read is available, the read-ahead bounded.
             Case{Pacing::Playback, 5000, 0, LiveQueue::kPlaybackUnits,
                  (LiveQueue::kPlaybackUnits - 1) * 40, 0, units},
         }) {
        SCOPED_TRACE(testing::Message()
                     << "hold-back " << c.holdBackMs << ", " << c.elapsedMs << " ms");
        ScriptedSource source;
        for (uint32_t i = 0; i < units; ++i) {
            source.add(TRACK_VIDEO, i * 40);
        }
        int64_t now = 1000;
        LiveQueue queue(&source, c.pacing, c.holdBackMs, [&now] { return now; });
        MediaSample sample{};
        ASSERT_EQ(0, queue.functions()->getSample(queue.context(), TRACK_VIDEO, &sample));
        ASSERT_EQ(static_cast<uint32_t>(MEDIA_FLAG_DESCRIPTION), sample.ulFlags);
        EXPECT_EQ(VIDEO_H264, sample.pStreamInfo->codecType);
        now += c.elapsedMs;
        queue.fill();
        EXPECT_EQ(c.read, source.readCount());
        uint32_t ms = 12345;
        EXPECT_EQ(0, queue.getMaxTs(TRACK_VIDEO, &ms));
        EXPECT_EQ(c.maxTsMs, ms);
        EXPECT_EQ(0, queue.getMaxDelay(&ms));
        EXPECT_EQ(c.maxDelayMs, ms);
        uint32_t taken = 0;
        while (queue.getSample(TRACK_VIDEO, &sample) == 0) {
            ASSERT_EQ(taken * 40, sample.ulTime);
            ++taken;
            queue.fill();
        }
        EXPECT_EQ(c.handedOut, taken);
    }
}

// The feeding thread reads until the source ends; the progress counts what
// the player took (descriptions not counted) and says why the source ended.
TEST(LiveQueueTest, TheFeedingThreadFillsUntilTheSourceEndsAndProgressCountsWhatWasTaken) {
    ScriptedSource source("read error: broken");
    source.add(TRACK_VIDEO, 0, true);
    std::vector<uint32_t> audioTimes;
    for (uint32_t i = 0; i < 50; ++i) {
        audioTimes.push_back(10 + i * 20);
        source.add(TRACK_AUDIO, audioTimes.back());
    }
    source.add(TRACK_VIDEO, 40);
    LiveQueue queue(&source, LiveQueue::Pacing::Playback, 0, [] { return int64_t{0}; });
    queue.startFeeding();
    MediaSample sample{};
    std::vector<uint32_t> times[3];
    while (!queue.progress().drained) {
        for (const int32_t track : {TRACK_AUDIO, TRACK_VIDEO}) {
            if (queue.getSample(track, &sample) == 0 && !sample.pStreamInfo) {
                times[track].push_back(sample.ulTime);
                EXPECT_EQ(sample.ulTime / 20, sample.pData[1]);
            }
        }
    }
    queue.stopFeeding();
    EXPECT_EQ((std::vector<uint32_t>{0, 40}), times[TRACK_VIDEO]);
    EXPECT_EQ(audioTimes, times[TRACK_AUDIO]);
    const LiveQueue::Progress progress = queue.progress();
    EXPECT_EQ(2u, progress.videoTaken);
    EXPECT_EQ(50u, progress.audioTaken);
    EXPECT_EQ(990u, progress.lastAudioMs);
    EXPECT_EQ("read error: broken", progress.error);
}
