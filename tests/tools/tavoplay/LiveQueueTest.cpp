#include "tavoplay/LiveQueue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A source that hands out the units it was given, then ends.
class ScriptedSource : public IMediaSource {
public:
    ScriptedSource(int32_t videoCodec, int32_t audioCodec)
        : m_video{STREAM_VIDEO, videoCodec, 320, 240},
          m_audio{STREAM_AUDIO, audioCodec, 8000, 1 | (16u << 16)} {}

    void add(int32_t track, uint32_t timeMs, bool keyFrame = false) {
        SourceUnit unit;
        unit.track = track;
        unit.timeMs = timeMs;
        unit.keyFrame = keyFrame;
        unit.sequence = static_cast<uint32_t>(m_units.size());
        unit.data = {static_cast<uint8_t>(track), static_cast<uint8_t>(timeMs / 10)};
        m_units.push_back(unit);
    }
    size_t readCount() const { return m_next; }
    void failAtEnd(const std::string& error) { m_endError = error; }

    StreamInfo videoStreamInfo() const override { return m_video; }
    StreamInfo audioStreamInfo() const override { return m_audio; }
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
    StreamInfo m_video;
    StreamInfo m_audio;
    std::vector<SourceUnit> m_units;
    size_t m_next = 0;
    std::string m_error;
    std::string m_endError;
};

class LiveQueueTest : public ::testing::Test {
protected:
    LiveQueueTest() : source(VIDEO_H264, AUDIO_AAC) {}

    LiveQueue::Clock clock() {
        return [this] { return now; };
    }
    // Takes the description of both tracks, which always comes first.
    void takeDescriptions(LiveQueue& queue) {
        MediaSample sample{};
        ASSERT_EQ(0, queue.getSample(TRACK_VIDEO, &sample));
        ASSERT_EQ(0, queue.getSample(TRACK_AUDIO, &sample));
    }
    uint32_t maxTs(LiveQueue& queue, int32_t track) {
        uint32_t ms = 12345;
        EXPECT_EQ(0, queue.getMaxTs(track, &ms));
        return ms;
    }
    uint32_t maxDelay(LiveQueue& queue) {
        uint32_t ms = 12345;
        EXPECT_EQ(0, queue.getMaxDelay(&ms));
        return ms;
    }

    int64_t now = 1000;
    ScriptedSource source;
};

TEST_F(LiveQueueTest, EachTrackStartsWithItsDescriptionThroughTheCallbackTable) {
    source.add(TRACK_VIDEO, 0, true);
    LiveQueue queue(&source, LiveQueue::Pacing::Live, 0, clock());
    MediaSourceFuncs* functions = queue.functions();
    ASSERT_NE(nullptr, functions->getSample);
    ASSERT_NE(nullptr, functions->getMaxDelay);
    ASSERT_NE(nullptr, functions->getMaxTs);

    MediaSample sample{};
    ASSERT_EQ(0, functions->getSample(queue.context(), TRACK_VIDEO, &sample));
    EXPECT_EQ(static_cast<uint32_t>(MEDIA_FLAG_DESCRIPTION), sample.ulFlags);
    ASSERT_NE(nullptr, sample.pStreamInfo);
    EXPECT_EQ(static_cast<uint32_t>(STREAM_VIDEO), sample.pStreamInfo->kind);
    EXPECT_EQ(VIDEO_H264, sample.pStreamInfo->codecType);
    EXPECT_EQ(320u, sample.pStreamInfo->rateOrWidth);

    ASSERT_EQ(0, functions->getSample(queue.context(), TRACK_AUDIO, &sample));
    EXPECT_EQ(static_cast<uint32_t>(MEDIA_FLAG_DESCRIPTION), sample.ulFlags);
    EXPECT_EQ(AUDIO_AAC, sample.pStreamInfo->codecType);
    EXPECT_EQ(0x00100001u, sample.pStreamInfo->formatOrHeight);

    queue.fill();
    ASSERT_EQ(0, functions->getSample(queue.context(), TRACK_VIDEO, &sample));
    EXPECT_EQ(static_cast<uint32_t>(MEDIA_FLAG_KEYFRAME), sample.ulFlags);
    EXPECT_EQ(nullptr, sample.pStreamInfo);
    EXPECT_NE(0, functions->getSample(queue.context(), 7, &sample));
}

TEST_F(LiveQueueTest, ATrackTheSourceLacksIsDescribedAsNone) {
    ScriptedSource videoOnly(VIDEO_H265, CODEC_NONE);
    videoOnly.add(TRACK_VIDEO, 0, true);
    LiveQueue queue(&videoOnly, LiveQueue::Pacing::Live, 0, clock());
    queue.fill();
    MediaSample sample{};
    ASSERT_EQ(0, queue.getSample(TRACK_AUDIO, &sample));
    EXPECT_EQ(CODEC_NONE, sample.pStreamInfo->codecType);
    EXPECT_NE(0, queue.getSample(TRACK_AUDIO, &sample));
}

TEST_F(LiveQueueTest, LiveUnitsBecomeAvailableWhenTheirTimeHasCome) {
    source.add(TRACK_VIDEO, 0, true);
    source.add(TRACK_AUDIO, 20);
    source.add(TRACK_VIDEO, 40);
    source.add(TRACK_VIDEO, 80);
    LiveQueue queue(&source, LiveQueue::Pacing::Live, 0, clock());
    takeDescriptions(queue);
    queue.fill();

    MediaSample sample{};
    ASSERT_EQ(0, queue.getSample(TRACK_VIDEO, &sample));
    EXPECT_EQ(0u, sample.ulTime);
    ASSERT_EQ(2u, sample.ulsize);
    EXPECT_EQ(TRACK_VIDEO, sample.pData[0]);
    EXPECT_NE(0, queue.getSample(TRACK_VIDEO, &sample));
    EXPECT_NE(0, queue.getSample(TRACK_AUDIO, &sample));
    EXPECT_EQ(0u, maxTs(queue, TRACK_VIDEO));

    now += 40;
    EXPECT_EQ(40u, maxTs(queue, TRACK_VIDEO));
    EXPECT_EQ(20u, maxTs(queue, TRACK_AUDIO));
    ASSERT_EQ(0, queue.getSample(TRACK_AUDIO, &sample));
    EXPECT_EQ(20u, sample.ulTime);
    ASSERT_EQ(0, queue.getSample(TRACK_VIDEO, &sample));
    EXPECT_EQ(40u, sample.ulTime);
    EXPECT_EQ(0u, sample.ulFlags);
    EXPECT_EQ(4u, sample.pData[1]);
    EXPECT_NE(0, queue.getSample(TRACK_VIDEO, &sample));
}

TEST_F(LiveQueueTest, LivePacingReadsOnlyALittleAheadOfTheSchedule) {
    for (uint32_t t = 0; t < 5000; t += 40) {
        source.add(TRACK_VIDEO, t);
    }
    LiveQueue queue(&source, LiveQueue::Pacing::Live, 0, clock());
    // Up to the first unit at or past the look-ahead: 0, 40, ..., 520 ms.
    EXPECT_TRUE(queue.fill());
    EXPECT_EQ(14u, source.readCount());
    now += 1000;
    queue.fill();
    EXPECT_EQ(14u + 1000 / 40, source.readCount());
}

TEST_F(LiveQueueTest, AHoldBackStallsTheStreamThenDeliversTheBacklog) {
    for (uint32_t t = 0; t <= 3000; t += 40) {
        source.add(TRACK_VIDEO, t);
    }
    LiveQueue queue(&source, LiveQueue::Pacing::Live, 2000, clock());
    takeDescriptions(queue);
    MediaSample sample{};

    now += 1000;
    queue.fill();
    EXPECT_NE(0, queue.getSample(TRACK_VIDEO, &sample));
    EXPECT_EQ(0u, maxTs(queue, TRACK_VIDEO));
    EXPECT_EQ(1000u, maxDelay(queue)) << "nothing has come in for a second";

    now += 1000;
    queue.fill();
    EXPECT_EQ(2000u, maxTs(queue, TRACK_VIDEO));
    EXPECT_EQ(0u, maxDelay(queue)) << "the backlog has arrived";
    int backlog = 0;
    while (queue.getSample(TRACK_VIDEO, &sample) == 0) {
        EXPECT_EQ(static_cast<uint32_t>(backlog * 40), sample.ulTime);
        ++backlog;
    }
    EXPECT_EQ(2000 / 40 + 1, backlog);

    now += 30;
    EXPECT_EQ(30u, maxDelay(queue)) << "the next unit is due at 2040";
}

TEST_F(LiveQueueTest, PlaybackHandsOutAtOnceWithABoundedReadAhead) {
    const uint32_t units = LiveQueue::kPlaybackUnits + 100;
    for (uint32_t i = 0; i < units; ++i) {
        source.add(TRACK_VIDEO, i * 40);
    }
    LiveQueue queue(&source, LiveQueue::Pacing::Playback, 5000, clock());
    takeDescriptions(queue);
    EXPECT_TRUE(queue.fill());
    EXPECT_EQ(LiveQueue::kPlaybackUnits, source.readCount());
    EXPECT_EQ((LiveQueue::kPlaybackUnits - 1) * 40, maxTs(queue, TRACK_VIDEO));
    EXPECT_EQ(0u, maxDelay(queue));

    MediaSample sample{};
    for (uint32_t i = 0; i < units; ++i) {
        ASSERT_EQ(0, queue.getSample(TRACK_VIDEO, &sample)) << "unit " << i;
        EXPECT_EQ(i * 40, sample.ulTime);
        queue.fill();
    }
    EXPECT_NE(0, queue.getSample(TRACK_VIDEO, &sample));
}

TEST_F(LiveQueueTest, ProgressCountsWhatWasTakenAndTellsWhenTheSourceIsDrained) {
    source.add(TRACK_VIDEO, 0, true);
    source.add(TRACK_AUDIO, 10);
    source.add(TRACK_VIDEO, 40);
    source.failAtEnd("read error: broken");
    LiveQueue queue(&source, LiveQueue::Pacing::Playback, 0, clock());
    takeDescriptions(queue);
    EXPECT_FALSE(queue.fill());

    LiveQueue::Progress progress = queue.progress();
    EXPECT_EQ(0u, progress.videoTaken) << "descriptions do not count";
    EXPECT_FALSE(progress.drained);
    EXPECT_EQ("read error: broken", progress.error);

    MediaSample sample{};
    ASSERT_EQ(0, queue.getSample(TRACK_VIDEO, &sample));
    ASSERT_EQ(0, queue.getSample(TRACK_VIDEO, &sample));
    EXPECT_FALSE(queue.progress().drained) << "the audio unit still waits";
    ASSERT_EQ(0, queue.getSample(TRACK_AUDIO, &sample));
    progress = queue.progress();
    EXPECT_TRUE(progress.drained);
    EXPECT_EQ(2u, progress.videoTaken);
    EXPECT_EQ(1u, progress.audioTaken);
    EXPECT_EQ(0u, progress.firstVideoMs);
    EXPECT_EQ(40u, progress.lastVideoMs);
    EXPECT_EQ(10u, progress.firstAudioMs);
    EXPECT_EQ(10u, progress.lastAudioMs);
}

TEST_F(LiveQueueTest, TheFeedingThreadFillsTheQueueUntilTheSourceEnds) {
    for (uint32_t i = 0; i < 50; ++i) {
        source.add(TRACK_AUDIO, i * 20);
    }
    LiveQueue queue(&source, LiveQueue::Pacing::Playback, 0, clock());
    takeDescriptions(queue);
    queue.startFeeding();
    MediaSample sample{};
    uint32_t taken = 0;
    while (!queue.progress().drained) {
        if (queue.getSample(TRACK_AUDIO, &sample) == 0) {
            EXPECT_EQ(taken * 20, sample.ulTime);
            ++taken;
        }
    }
    queue.stopFeeding();
    EXPECT_EQ(50u, taken);
}

}  // namespace
