#include "TavoPlayerCore/CMediaOneMinPlay.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "support/LogDir.h"
#include "support/ManualTimeSource.h"

namespace {

// A host-side sample whose four payload bytes repeat the low byte of its time.
class HostSample {
public:
    HostSample(uint32_t time, uint32_t flags) {
        std::memset(m_payload, static_cast<int>(time & 0xFF), sizeof(m_payload));
        std::memset(&sample, 0, sizeof(sample));
        sample.ulTime = time;
        sample.ulFlags = flags;
        sample.ulsize = sizeof(m_payload);
        sample.pData = m_payload;
    }

    MediaSample sample;

private:
    uint8_t m_payload[4];
};

void put(CMediaOneMinPlay& store, uint32_t track, uint32_t time, uint32_t flags = 0) {
    HostSample host(time, flags);
    EXPECT_EQ(0, store.putSample(track, &host.sample));
}

// Reads the play list of the track to its end and returns the times read.
std::vector<uint32_t> drain(CMediaOneMinPlay& store, uint32_t track) {
    std::vector<uint32_t> times;
    MediaSample out;
    while (store.getSample(track, &out) == 0) {
        times.push_back(out.ulTime);
    }
    return times;
}

uint32_t next(CMediaOneMinPlay& store, uint32_t track) {
    MediaSample out{};
    EXPECT_EQ(0, store.getSample(track, &out));
    return out.ulTime;
}

MediaSample filledWith(uint8_t byte) {
    MediaSample record;
    std::memset(&record, byte, sizeof(record));
    return record;
}

bool sameBytes(const MediaSample& a, const MediaSample& b) {
    return std::memcmp(&a, &b, sizeof(MediaSample)) == 0;
}

TEST(CMediaOneMinPlay, VideoWaitsForAKeyFrameAudioTakesAnything) {
    CMediaOneMinPlay store;
    put(store, TRACK_VIDEO, 1000);
    put(store, TRACK_VIDEO, 1040);
    put(store, TRACK_VIDEO, 1080, MEDIA_FLAG_KEYFRAME);
    put(store, TRACK_VIDEO, 1120);
    put(store, TRACK_AUDIO, 1000);
    put(store, TRACK_AUDIO, 1020);
    store.moveVideoToPlayList();
    store.moveAudioToPlayList();
    EXPECT_EQ((std::vector<uint32_t>{1080, 1120}), drain(store, TRACK_VIDEO));
    EXPECT_EQ((std::vector<uint32_t>{1000, 1020}), drain(store, TRACK_AUDIO));

    // Once the input was emptied (by the move, or by clear), the rule applies again.
    put(store, TRACK_VIDEO, 1160);
    put(store, TRACK_VIDEO, 1200, MEDIA_FLAG_KEYFRAME | MEDIA_FLAG_NO_DISPLAY);
    EXPECT_EQ(0, store.clear());
    put(store, TRACK_VIDEO, 1240);
    put(store, TRACK_VIDEO, 1280, MEDIA_FLAG_KEYFRAME);
    store.clearVideoPlayList();
    store.moveVideoToPlayList();
    EXPECT_EQ((std::vector<uint32_t>{1280}), drain(store, TRACK_VIDEO));
}

TEST(CMediaOneMinPlay, OtherTracksAndNullSamplesAreIgnored) {
    CMediaOneMinPlay store;
    EXPECT_EQ(0, store.putSample(TRACK_VIDEO, nullptr));
    EXPECT_EQ(0, store.putSample(TRACK_AUDIO, nullptr));
    put(store, 0, 1000, MEDIA_FLAG_KEYFRAME);
    put(store, 3, 1000, MEDIA_FLAG_KEYFRAME);
    store.moveVideoToPlayList();
    store.moveAudioToPlayList();
    MediaSample out{};
    EXPECT_EQ(PLAYER_E_FAIL, store.getSample(TRACK_VIDEO, &out));
    EXPECT_EQ(PLAYER_E_FAIL, store.getSample(TRACK_AUDIO, &out));

    MediaSample untouched = filledWith(0x5A);
    MediaSample record = untouched;
    EXPECT_EQ(0, store.getSample(3, &record));
    EXPECT_TRUE(sameBytes(untouched, record));
    EXPECT_EQ(0, store.reserved1(1, 2));
    EXPECT_EQ(0, store.reserved2(1, 2));
}

TEST(CMediaOneMinPlay, ASpanOfExactly60000MsKeepsTheFrontOneMoreTrimsIt) {
    CMediaOneMinPlay store;
    put(store, TRACK_VIDEO, 5000, MEDIA_FLAG_KEYFRAME);
    put(store, TRACK_VIDEO, 65000);
    put(store, TRACK_VIDEO, 65040);
    put(store, TRACK_AUDIO, 5000);
    put(store, TRACK_AUDIO, 65001);
    put(store, TRACK_AUDIO, 65020);
    store.moveVideoToPlayList();
    store.moveAudioToPlayList();
    EXPECT_EQ((std::vector<uint32_t>{5000, 65000, 65040}), drain(store, TRACK_VIDEO));
    EXPECT_EQ((std::vector<uint32_t>{65001, 65020}), drain(store, TRACK_AUDIO));
}

TEST(CMediaOneMinPlay, TrimmingRemovesOneSampleAtATimeEvenAKeyFrame) {
    CMediaOneMinPlay store;
    put(store, TRACK_VIDEO, 0, MEDIA_FLAG_KEYFRAME);
    put(store, TRACK_VIDEO, 30000);
    put(store, TRACK_VIDEO, 60001);
    put(store, TRACK_VIDEO, 60100);
    store.moveVideoToPlayList();
    MediaSample out{};
    ASSERT_EQ(0, store.getSample(TRACK_VIDEO, &out));
    EXPECT_EQ(30000u, out.ulTime);  // the list now starts with a non-key frame
    EXPECT_EQ(0u, out.ulFlags & MEDIA_FLAG_KEYFRAME);
}

TEST(CMediaOneMinPlay, AFullMinuteAt25FramesPerSecondSpansAtMost60040Ms) {
    CMediaOneMinPlay store;
    for (uint32_t t = 0; t <= 70000; t += 40) {
        put(store, TRACK_VIDEO, 100000 + t, t % 1000 == 0 ? MEDIA_FLAG_KEYFRAME : 0);
    }
    store.moveVideoToPlayList();
    uint32_t seconds = 0;
    store.getDuration(&seconds);
    EXPECT_EQ(60u, seconds);
    const std::vector<uint32_t> times = drain(store, TRACK_VIDEO);
    ASSERT_FALSE(times.empty());
    EXPECT_EQ(170000u, times.back());
    EXPECT_EQ(60040u, times.back() - times.front());
    EXPECT_EQ(1502u, times.size());
}

TEST(CMediaOneMinPlay, TimeJumpingBackwardsTrimsToTheNewestSampleOnTheNextAppend) {
    CMediaOneMinPlay store;
    put(store, TRACK_VIDEO, 90000, MEDIA_FLAG_KEYFRAME);
    put(store, TRACK_VIDEO, 90040);
    put(store, TRACK_VIDEO, 500);  // the span is measured before this append
    put(store, TRACK_VIDEO, 540);
    put(store, TRACK_AUDIO, 90000);
    put(store, TRACK_AUDIO, 90020);
    put(store, TRACK_AUDIO, 500);
    put(store, TRACK_AUDIO, 520);
    store.moveVideoToPlayList();
    store.moveAudioToPlayList();
    EXPECT_EQ((std::vector<uint32_t>{500, 540}), drain(store, TRACK_VIDEO));
    EXPECT_EQ((std::vector<uint32_t>{500, 520}), drain(store, TRACK_AUDIO));
}

TEST(CMediaOneMinPlay, ReadSamplesAreShallowCopiesOfTheStoresOwnDeepCopy) {
    ManualTimeSource time(77000);
    CMediaOneMinPlay store;
    StreamInfo info{STREAM_VIDEO, VIDEO_H264, 640, 480};
    uint8_t extra[2] = {1, 2};
    HostSample host(1000, MEDIA_FLAG_KEYFRAME | MEDIA_FLAG_DESCRIPTION | 0x100);
    host.sample.ulReserved1 = 11;
    host.sample.ulReserved2 = 12;
    host.sample.ulReserved3 = 13;
    host.sample.ulReserved4 = 14;
    host.sample.AVFrameSeq = 4242;
    host.sample.pStreamInfo = &info;
    host.sample.pExtData = extra;
    host.sample.ulTick = 5;
    store.putSample(TRACK_VIDEO, &host.sample);
    store.putSample(TRACK_AUDIO, &host.sample);
    host.sample.pData[0] = 0xEE;  // the host reuses its buffer
    time.advance(500);
    store.moveVideoToPlayList();
    store.moveAudioToPlayList();

    for (uint32_t track : {TRACK_VIDEO, TRACK_AUDIO}) {
        MediaSample out = filledWith(0x77);
        ASSERT_EQ(0, store.getSample(track, &out));
        EXPECT_EQ(1000u, out.ulTime);
        EXPECT_EQ(MEDIA_FLAG_KEYFRAME | MEDIA_FLAG_DESCRIPTION | 0x100u, out.ulFlags);
        EXPECT_EQ(4u, out.ulsize);
        ASSERT_NE(nullptr, out.pData);
        EXPECT_NE(host.sample.pData, out.pData);
        EXPECT_EQ(0, std::memcmp("\xE8\xE8\xE8\xE8", out.pData, 4));
        EXPECT_EQ(nullptr, out.pStreamInfo);
        EXPECT_EQ(0u, out.AVFrameSeq);
        EXPECT_EQ(nullptr, out.pExtData);
        EXPECT_EQ(0u, out.ulReserved1);
        EXPECT_EQ(0u, out.ulReserved2);
        EXPECT_EQ(0u, out.ulReserved3);
        EXPECT_EQ(0u, out.ulReserved4);
        EXPECT_EQ(77000u, out.ulTick);  // stamped when the copy was made
    }
}

TEST(CMediaOneMinPlay, ASampleWithoutItsPayloadIsStoredAsZeros) {
    CMediaOneMinPlay store;
    MediaSample sample{};
    sample.ulTime = 1000;
    sample.ulFlags = MEDIA_FLAG_KEYFRAME;
    sample.ulsize = 64;
    store.putSample(TRACK_VIDEO, &sample);
    sample.ulsize = 0;
    sample.ulTime = 1040;
    store.putSample(TRACK_VIDEO, &sample);
    store.moveVideoToPlayList();

    MediaSample out{};
    ASSERT_EQ(0, store.getSample(TRACK_VIDEO, &out));
    ASSERT_EQ(64u, out.ulsize);
    ASSERT_NE(nullptr, out.pData);
    EXPECT_EQ(std::vector<uint8_t>(64, 0), std::vector<uint8_t>(out.pData, out.pData + 64));
    ASSERT_EQ(0, store.getSample(TRACK_VIDEO, &out));
    EXPECT_EQ(0u, out.ulsize);
}

TEST(CMediaOneMinPlay, EmptyPlayListsFailAndLeaveTheRecordUntouched) {
    CMediaOneMinPlay store;
    const MediaSample untouched = filledWith(0xAB);
    for (uint32_t track : {TRACK_VIDEO, TRACK_AUDIO}) {
        MediaSample out = untouched;
        EXPECT_EQ(PLAYER_E_FAIL, store.getSample(track, &out));
        EXPECT_TRUE(sameBytes(untouched, out));
    }
    uint32_t seconds = 99;
    EXPECT_EQ(0, store.getDuration(&seconds));
    EXPECT_EQ(0u, seconds);
    seconds = 99;
    EXPECT_EQ(0, store.getPlayPosition(&seconds));
    EXPECT_EQ(0u, seconds);
}

TEST(CMediaOneMinPlay, ReadingPastTheEndAnswersNoMoreAndChangesNothing) {
    CMediaOneMinPlay store;
    put(store, TRACK_VIDEO, 1000, MEDIA_FLAG_KEYFRAME);
    put(store, TRACK_VIDEO, 3500);
    put(store, TRACK_AUDIO, 1000);
    store.moveVideoToPlayList();
    store.moveAudioToPlayList();
    EXPECT_EQ(1000u, next(store, TRACK_VIDEO));
    EXPECT_EQ(3500u, next(store, TRACK_VIDEO));
    EXPECT_EQ(1000u, next(store, TRACK_AUDIO));

    const MediaSample untouched = filledWith(0xCD);
    for (uint32_t track : {TRACK_VIDEO, TRACK_AUDIO}) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            MediaSample out = untouched;
            EXPECT_EQ(PLAYER_E_NOMORE, store.getSample(track, &out));
            EXPECT_TRUE(sameBytes(untouched, out));
        }
    }
    uint32_t seconds = 0;
    store.getPlayPosition(&seconds);
    EXPECT_EQ(2u, seconds);  // still the last sample read: 2500 ms in
}

TEST(CMediaOneMinPlay, DurationAndPositionAreWholeSeconds) {
    CMediaOneMinPlay store;
    put(store, TRACK_VIDEO, 20000, MEDIA_FLAG_KEYFRAME);
    put(store, TRACK_VIDEO, 20999);
    put(store, TRACK_VIDEO, 79999);
    store.moveVideoToPlayList();
    uint32_t seconds = 0;
    EXPECT_EQ(0, store.getDuration(&seconds));
    EXPECT_EQ(59u, seconds);  // 59999 ms

    EXPECT_EQ(0, store.getPlayPosition(&seconds));
    EXPECT_EQ(0u, seconds);
    next(store, TRACK_VIDEO);
    next(store, TRACK_VIDEO);
    store.getPlayPosition(&seconds);
    EXPECT_EQ(0u, seconds);  // 999 ms
    next(store, TRACK_VIDEO);
    store.getPlayPosition(&seconds);
    EXPECT_EQ(59u, seconds);
}

// Video at 25 frames per second from 10000 ms with key frames at 10000, 12000,
// 14000, ... and audio every 20 ms from 9990 ms, frozen into the play lists.
class StoreSeek : public ::testing::Test {
protected:
    void SetUp() override {
        for (uint32_t t = 10000; t <= 20000; t += 40) {
            put(store, TRACK_VIDEO, t, (t - 10000) % 2000 == 0 ? MEDIA_FLAG_KEYFRAME : 0);
        }
        for (uint32_t t = 9990; t <= 20010; t += 20) {
            put(store, TRACK_AUDIO, t);
        }
        store.moveVideoToPlayList();
        store.moveAudioToPlayList();
    }

    CMediaOneMinPlay store;
};

TEST_F(StoreSeek, LandsOnTheLastKeyFrameAtOrBeforeTheSecondAndAudioFollows) {
    EXPECT_EQ(0, store.seekTo(3));  // 13000 ms: the key frame at 12000
    EXPECT_EQ(12000u, next(store, TRACK_VIDEO));
    EXPECT_EQ(12040u, next(store, TRACK_VIDEO));
    EXPECT_EQ(12010u, next(store, TRACK_AUDIO));  // first audio not earlier than 12000
    uint32_t seconds = 0;
    store.getPlayPosition(&seconds);
    EXPECT_EQ(2u, seconds);

    store.seekTo(4);  // exactly on the key frame at 14000
    EXPECT_EQ(14000u, next(store, TRACK_VIDEO));
    EXPECT_EQ(14010u, next(store, TRACK_AUDIO));

    store.seekTo(0);  // back to the first key frame
    EXPECT_EQ(10000u, next(store, TRACK_VIDEO));
    EXPECT_EQ(10010u, next(store, TRACK_AUDIO));
}

TEST_F(StoreSeek, ASeekWithinTheMinuteLogsItsTarget) {
    LogDir dir;
    store.seekTo(3);
    store.seekTo(11);  // beyond the end: positioned without an entry
    CMediaOneMinPlay empty;
    empty.seekTo(1);
    const std::vector<LogEntry> entries = dir.entries();
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ("CMediaOneMinPlay.cpp", entries[0].file);
    EXPECT_EQ("CMediaOneMinPlay::seekTo", entries[0].function);
    EXPECT_EQ("seek to m_iseekposition =13000", entries[0].message);
}

TEST_F(StoreSeek, AudioLandsOnASampleAtTheKeyFramesOwnTime) {
    store.clearAudioPlayList();
    for (uint32_t t = 11960; t <= 12040; t += 40) {
        put(store, TRACK_AUDIO, t);
    }
    store.moveAudioToPlayList();
    store.seekTo(2);
    EXPECT_EQ(12000u, next(store, TRACK_VIDEO));
    EXPECT_EQ(12000u, next(store, TRACK_AUDIO));
}

TEST_F(StoreSeek, BeyondTheEndPutsVideoOnItsLastSampleAndLeavesAudio) {
    EXPECT_EQ(9990u, next(store, TRACK_AUDIO));
    EXPECT_EQ(10010u, next(store, TRACK_AUDIO));
    EXPECT_EQ(0, store.seekTo(11));  // 21000 ms, past 20000
    EXPECT_EQ(20000u, next(store, TRACK_VIDEO));
    EXPECT_EQ(10030u, next(store, TRACK_AUDIO));
    MediaSample out{};
    EXPECT_EQ(PLAYER_E_NOMORE, store.getSample(TRACK_VIDEO, &out));
}

TEST(CMediaOneMinPlay, SeekingBeforeTheFirstKeyFrameLeavesNoPosition) {
    CMediaOneMinPlay store;
    // Trimming leaves the list starting with non-key frames.
    put(store, TRACK_VIDEO, 0, MEDIA_FLAG_KEYFRAME);
    put(store, TRACK_VIDEO, 30000);
    put(store, TRACK_VIDEO, 60001);
    put(store, TRACK_VIDEO, 60100, MEDIA_FLAG_KEYFRAME);
    put(store, TRACK_AUDIO, 30000);
    put(store, TRACK_AUDIO, 60050);
    store.moveVideoToPlayList();
    store.moveAudioToPlayList();
    EXPECT_EQ(30000u, next(store, TRACK_AUDIO));

    EXPECT_EQ(0, store.seekTo(30));  // 60000 ms: no key frame at or before it
    const MediaSample untouched = filledWith(0x11);
    MediaSample out = untouched;
    EXPECT_EQ(PLAYER_E_NOMORE, store.getSample(TRACK_VIDEO, &out));
    EXPECT_TRUE(sameBytes(untouched, out));
    EXPECT_EQ(60050u, next(store, TRACK_AUDIO));  // audio was not repositioned

    store.seekTo(31);  // 61000 ms: the last sample
    EXPECT_EQ(60100u, next(store, TRACK_VIDEO));
    store.seekTo(0);
    EXPECT_EQ(PLAYER_E_NOMORE, store.getSample(TRACK_VIDEO, &out));
    store.clearVideoPlayList();  // clearing gives back position 0
    EXPECT_EQ(PLAYER_E_FAIL, store.getSample(TRACK_VIDEO, &out));
}

TEST(CMediaOneMinPlay, SeekingAnEmptyStoreLeavesNoPositionUntilCleared) {
    CMediaOneMinPlay store;
    EXPECT_EQ(0, store.seekTo(5));
    MediaSample out{};
    EXPECT_EQ(PLAYER_E_NOMORE, store.getSample(TRACK_VIDEO, &out));
    store.clearVideoPlayList();
    EXPECT_EQ(PLAYER_E_FAIL, store.getSample(TRACK_VIDEO, &out));
}

TEST(CMediaOneMinPlay, LiveInputKeepsRollingWhileTheFrozenMinuteIsReplayed) {
    CMediaOneMinPlay store;
    put(store, TRACK_VIDEO, 1000, MEDIA_FLAG_KEYFRAME);
    put(store, TRACK_AUDIO, 1000);
    store.moveVideoToPlayList();
    store.moveAudioToPlayList();
    put(store, TRACK_VIDEO, 2000, MEDIA_FLAG_KEYFRAME);
    put(store, TRACK_AUDIO, 2000);

    EXPECT_EQ(1000u, next(store, TRACK_VIDEO));
    EXPECT_EQ(0, store.reset());  // empties the live input only
    store.seekTo(0);
    EXPECT_EQ(1000u, next(store, TRACK_VIDEO));
    EXPECT_EQ(1000u, next(store, TRACK_AUDIO));

    // Leaving replay clears the play lists; the next replay starts at its front.
    store.clearVideoPlayList();
    store.clearAudioPlayList();
    put(store, TRACK_VIDEO, 3000, MEDIA_FLAG_KEYFRAME);
    put(store, TRACK_AUDIO, 3000);
    store.moveVideoToPlayList();
    store.moveAudioToPlayList();
    EXPECT_EQ((std::vector<uint32_t>{3000}), drain(store, TRACK_VIDEO));
    EXPECT_EQ((std::vector<uint32_t>{3000}), drain(store, TRACK_AUDIO));
}

// The video loop and the audio loop put and read their own tracks (and, as in
// live play, clear their play lists now and then) while the host's thread
// freezes the input, seeks and queries: every sample read must be intact.
TEST(CMediaOneMinPlay, LoopsAndHostUseTheStoreConcurrently) {
    CMediaOneMinPlay store;
    std::atomic<bool> done{false};
    std::atomic<int> corrupt{0};
    auto loop = [&](uint32_t track, uint32_t step) {
        MediaSample out;
        for (uint32_t i = 0; i < 3000; ++i) {
            const uint32_t t = 1000 + i * step;
            put(store, track, t, i % 25 == 0 ? MEDIA_FLAG_KEYFRAME : 0);
            if (store.getSample(track, &out) == 0 &&
                (out.ulsize != 4 || out.pData[3] != static_cast<uint8_t>(out.ulTime & 0xFF))) {
                ++corrupt;
            }
            if (i % 100 == 99) {
                track == TRACK_VIDEO ? store.clearVideoPlayList() : store.clearAudioPlayList();
            }
        }
    };
    std::thread video(loop, TRACK_VIDEO, 40u);
    std::thread audio(loop, TRACK_AUDIO, 20u);
    std::thread host([&] {
        uint32_t seconds = 0;
        for (uint32_t i = 0; !done.load(); ++i) {
            store.moveVideoToPlayList();
            store.moveAudioToPlayList();
            store.seekTo(i % 70);
            store.getDuration(&seconds);
            store.getPlayPosition(&seconds);
            if (i % 8 == 0) {
                store.clear();
            }
        }
    });
    video.join();
    audio.join();
    done = true;
    host.join();
    EXPECT_EQ(0, corrupt.load());
}

}  // namespace
