#include "tavoplay/LiveQueue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A source of H.264 and AAC that hands out the video units it was given.
class ScriptedSource : public IMediaSource {
public:
    void add(uint32_t timeMs) {
        SourceUnit unit;
        unit.track = TRACK_VIDEO;
        unit.timeMs = timeMs;
        unit.data = {0, 0, 1};
        m_units.push_back(unit);
    }
    size_t readCount() const { return m_next; }

    StreamInfo videoStreamInfo() const override { return {STREAM_VIDEO, VIDEO_H264, 320, 240}; }
    StreamInfo audioStreamInfo() const override {
        return {STREAM_AUDIO, AUDIO_AAC, 8000, 1 | (16u << 16)};
    }
    bool read(SourceUnit* unit) override {
        if (m_next == m_units.size()) {
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
            source.add(i * 40);
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
