#include "TavoPlayerCore/CMediaRefClock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/ManualTimeSource.h"

namespace {

constexpr uint32_t kStartSys = 10000;

// A clock on a manual timer that has been anchored: one picture time
// reported at kStartSys and read once, so it runs from (kStartSys, firstMedia).
class CMediaRefClockTest : public ::testing::Test {
protected:
    void anchorAt(uint32_t firstMedia) {
        clock.UpdateRefTime(firstMedia);
        ASSERT_EQ(firstMedia, clock.GetTime(0));
    }

    ManualTimeSource time{kStartSys};
    CMediaRefClock clock;
};

TEST_F(CMediaRefClockTest, StartsWithoutReferenceInModeOneAtSpeedOne) {
    EXPECT_EQ(1u, clock.GetMode());
    EXPECT_FALSE(clock.HasRefTime());
    EXPECT_FALSE(clock.IsExternal());
    EXPECT_EQ(1.0f, clock.GetSpeed());
    time.advance(500);
    EXPECT_EQ(0u, clock.GetTime(0));
    EXPECT_EQ(0u, clock.GetAudioTime());
    EXPECT_EQ(0u, clock.GetElapsed());
}

TEST_F(CMediaRefClockTest, RunsSmoothlyFromItsAnchorWhileTimestampsStayInTheBand) {
    anchorAt(1000);
    // Pictures every 40 ms with up to 150 ms of jitter either way: the clock
    // keeps running from its anchor on the timer and never jumps onto them.
    const int jitter[] = {0, 150, -150, 90, -60, 0, 120, -140, 30, 0};
    for (uint32_t i = 1; i <= 10; ++i) {
        time.set(kStartSys + 40 * i);
        clock.UpdateRefTime(static_cast<uint32_t>(1000 + 40 * i + jitter[i - 1]));
        EXPECT_EQ(1000 + 40 * i, clock.GetTime(0)) << "picture " << i;
        time.advance(7);
        EXPECT_EQ(1000 + 40 * i + 7, clock.GetTime(0)) << "between pictures " << i;
    }
    time.set(kStartSys + 400);
    EXPECT_TRUE(clock.HasRefTime());
    EXPECT_EQ(400u, clock.GetElapsed());
}

TEST_F(CMediaRefClockTest, ExactlyTheToleranceAheadDoesNotSnapOneMoreDoes) {
    anchorAt(1000);
    time.advance(40);
    clock.UpdateRefTime(1040 + 200);
    EXPECT_EQ(1040u, clock.GetTime(0));

    time.advance(40);
    clock.UpdateRefTime(1080 + 201);
    EXPECT_EQ(1281u, clock.GetTime(0));  // snapped onto the picture time
    time.advance(25);
    EXPECT_EQ(1306u, clock.GetTime(0));  // and running from a new anchor there
    time.advance(40);
    clock.UpdateRefTime(1321);
    EXPECT_EQ(1346u, clock.GetTime(0));
}

TEST_F(CMediaRefClockTest, TimestampsFallingBehindByMoreThanTheToleranceSnapBack) {
    anchorAt(1000);
    time.advance(200);
    clock.UpdateRefTime(1000);  // the pictures stalled for exactly the tolerance
    EXPECT_EQ(1200u, clock.GetTime(0));
    time.advance(1);
    clock.UpdateRefTime(1000);
    EXPECT_EQ(1000u, clock.GetTime(0));
}

TEST_F(CMediaRefClockTest, ATimestampFarAheadIsTakenAtTheReadingAfterItsUpdate) {
    anchorAt(1000);
    time.advance(40);
    clock.UpdateRefTime(1340);  // 300 ms ahead of the running clock
    time.advance(15);
    // The base of the snap is the first reading after the update, so the
    // reading reports the timestamp itself; the next runs on from it.
    EXPECT_EQ(1340u, clock.GetTime(0));
    time.advance(10);
    EXPECT_EQ(1350u, clock.GetTime(0));
}

TEST_F(CMediaRefClockTest, ChangingTheSpeedReanchorsAtTheLatestTimestamp) {
    anchorAt(1000);
    time.advance(100);
    EXPECT_EQ(1100u, clock.GetTime(0));

    EXPECT_TRUE(clock.SetSpeed(1.2f));
    EXPECT_EQ(1.2f, clock.GetSpeed());
    EXPECT_EQ(1000u, clock.GetTime(0));  // anchored afresh on the last picture time
    time.advance(100);
    EXPECT_EQ(1120u, clock.GetTime(0));

    EXPECT_FALSE(clock.SetSpeed(1.2f));  // same speed: nothing changes
    time.advance(100);
    EXPECT_EQ(1240u, clock.GetTime(0));

    // Pictures at the sped-up pace stay in the band.
    clock.UpdateRefTime(1240);
    time.advance(50);
    EXPECT_EQ(1300u, clock.GetTime(0));
}

TEST_F(CMediaRefClockTest, TimestampsRestartingNearZeroDropTheAnchor) {
    anchorAt(60000);
    time.advance(40);
    clock.UpdateRefTime(100);
    EXPECT_EQ(100u, clock.GetTime(0));
    time.advance(40);
    EXPECT_EQ(140u, clock.GetTime(0));
}

TEST_F(CMediaRefClockTest, AStepBackThatIsNoRestartKeepsTheAnchor) {
    anchorAt(8000);
    time.advance(40);
    clock.UpdateRefTime(4000);  // 4000 + 5000 is not below 8000
    EXPECT_EQ(8040u, clock.GetTime(0));
}

TEST_F(CMediaRefClockTest, ModeTwoAlwaysReadsZeroAndKeepsItsTolerance) {
    clock.SetMode(2);
    EXPECT_EQ(2u, clock.GetMode());
    clock.UpdateRefTime(5000);
    time.advance(100);
    EXPECT_EQ(0u, clock.GetTime(0));
    EXPECT_EQ(1, clock.SetMaxDrift(0xFFFFFFFFu));

    // Back in mode 1 the tolerance is still 200 ms: the speed applies.
    clock.SetMode(1);
    clock.SetSpeed(2.0f);
    EXPECT_EQ(5000u, clock.GetTime(0));
    time.advance(50);
    EXPECT_EQ(5100u, clock.GetTime(0));
}

TEST_F(CMediaRefClockTest, WithTheDriftCheckOffTheClockIgnoresSpeedAndTimestamps) {
    EXPECT_EQ(0, clock.SetMaxDrift(0xFFFFFFFFu));
    anchorAt(1000);
    EXPECT_TRUE(clock.SetSpeed(2.0f));
    EXPECT_EQ(1000u, clock.GetTime(0));
    time.advance(100);
    EXPECT_EQ(1100u, clock.GetTime(0));
    clock.UpdateRefTime(9000);  // far ahead, yet no snap
    time.advance(10);
    EXPECT_EQ(1110u, clock.GetTime(0));
}

TEST_F(CMediaRefClockTest, AToleranceOfZeroSnapsOnEveryDeviation) {
    EXPECT_EQ(0, clock.SetMaxDrift(0));
    anchorAt(1000);
    time.advance(40);
    clock.UpdateRefTime(1040);
    EXPECT_EQ(1040u, clock.GetTime(0));
    time.advance(40);
    clock.UpdateRefTime(1081);
    EXPECT_EQ(1081u, clock.GetTime(0));
}

TEST_F(CMediaRefClockTest, AudioTimeRunsOnTheTimerFromItsLastUpdate) {
    EXPECT_EQ(0u, clock.GetAudioTime());
    clock.UpdateAudioTime(5000);
    EXPECT_EQ(5000u, clock.GetAudioTime());
    time.advance(30);
    EXPECT_EQ(5030u, clock.GetAudioTime());
    clock.UpdateAudioTime(5020);
    time.advance(5);
    EXPECT_EQ(5025u, clock.GetAudioTime());
    // The audio position does not drive the picture clock.
    EXPECT_EQ(0u, clock.GetTime(0));
    EXPECT_FALSE(clock.HasRefTime());
}

TEST_F(CMediaRefClockTest, ResetForgetsTimestampsSpeedAndAudioButKeepsModeAndTolerance) {
    EXPECT_EQ(0, clock.SetMaxDrift(0xFFFFFFFFu));
    clock.SetSpeed(1.2f);
    anchorAt(1000);
    clock.UpdateAudioTime(700);
    time.advance(100);
    ASSERT_EQ(1100u, clock.GetTime(0));

    EXPECT_EQ(0, clock.Reset());
    EXPECT_FALSE(clock.HasRefTime());
    EXPECT_EQ(1.0f, clock.GetSpeed());
    EXPECT_EQ(0u, clock.GetAudioTime());
    EXPECT_EQ(0u, clock.GetTime(0));
    EXPECT_EQ(1u, clock.GetMode());

    clock.UpdateRefTime(3000);
    clock.SetSpeed(2.0f);  // still ignored: the tolerance survived the reset
    EXPECT_EQ(3000u, clock.GetTime(0));
    time.advance(20);
    EXPECT_EQ(3020u, clock.GetTime(0));
}

TEST_F(CMediaRefClockTest, PauseHoldsRunReanchorsStopReadsZero) {
    anchorAt(1000);
    time.advance(100);
    ASSERT_EQ(1100u, clock.GetTime(0));
    EXPECT_EQ(0, clock.Pause());
    time.advance(500);
    EXPECT_EQ(1100u, clock.GetTime(0));
    clock.UpdateRefTime(1060);
    EXPECT_EQ(1100u, clock.GetTime(0));

    EXPECT_EQ(0, clock.Run());
    EXPECT_EQ(1060u, clock.GetTime(0));  // anchored afresh on the latest timestamp
    time.advance(30);
    EXPECT_EQ(1090u, clock.GetTime(0));

    EXPECT_EQ(0, clock.Stop());
    EXPECT_EQ(0u, clock.GetTime(0));
    time.advance(30);
    EXPECT_EQ(0u, clock.GetTime(0));
}

TEST_F(CMediaRefClockTest, FreeRunRunsWithoutTimestampsAndFreezeHoldsIt) {
    EXPECT_EQ(0, clock.InitRefTime(5000));
    EXPECT_EQ(5000u, clock.GetTime(0));  // not free-running: holds the initial time
    time.advance(100);
    EXPECT_EQ(5000u, clock.GetTime(0));

    EXPECT_EQ(0, clock.SetFreeRun(1));
    EXPECT_FALSE(clock.HasRefTime());
    EXPECT_EQ(5000u, clock.GetTime(0));
    time.advance(100);
    EXPECT_EQ(5100u, clock.GetTime(0));
    EXPECT_EQ(0, clock.SetFreeze(1));
    time.advance(100);
    EXPECT_EQ(5100u, clock.GetTime(0));
    EXPECT_EQ(0, clock.SetFreeze(0));
    EXPECT_EQ(5200u, clock.GetTime(0));

    clock.SetRefTime(7000);  // a new reference, anchored at the next reading
    time.advance(10);
    EXPECT_EQ(7000u, clock.GetTime(0));
    time.advance(10);
    EXPECT_EQ(7010u, clock.GetTime(0));
}

TEST_F(CMediaRefClockTest, ElapsedCountsFromTheFirstTimestampAfterAReset) {
    clock.UpdateRefTime(2000);
    EXPECT_EQ(0u, clock.GetElapsed());
    time.advance(40);
    clock.UpdateRefTime(2040);
    EXPECT_EQ(40u, clock.GetElapsed());
    clock.Stop();
    EXPECT_EQ(0u, clock.GetElapsed());  // a stopped clock reads 0, below the first time
}

TEST(CMediaRefClockWrap, TheTimerWrappingAroundDoesNotDisturbTheClock) {
    ManualTimeSource time(0xFFFFFF00u);
    CMediaRefClock clock;
    clock.UpdateRefTime(1000);
    EXPECT_EQ(1000u, clock.GetTime(0));
    clock.UpdateAudioTime(400);
    // Pictures every 40 ms across the timer's wrap from 0xFFFFFFFF to 0.
    for (uint32_t i = 1; i <= 10; ++i) {
        time.advance(40);
        clock.UpdateRefTime(1000 + 40 * i);
        EXPECT_EQ(1000 + 40 * i, clock.GetTime(0)) << "picture " << i;
    }
    EXPECT_EQ(144u, time.timeMs());
    EXPECT_EQ(800u, clock.GetAudioTime());
}

TEST(CMediaRefClockWrap, ASnapJustBeforeTheWrapRunsOnAcrossIt) {
    ManualTimeSource time(0xFFFFFFC0u);
    CMediaRefClock clock;
    clock.UpdateRefTime(1000);
    EXPECT_EQ(1000u, clock.GetTime(0));
    time.advance(40);
    clock.UpdateRefTime(1340);  // 300 ms ahead
    EXPECT_EQ(1340u, clock.GetTime(0));
    time.advance(0x20);
    EXPECT_EQ(8u, time.timeMs());
    EXPECT_EQ(1372u, clock.GetTime(0));
}

TEST_F(CMediaRefClockTest, AnySpeedTheHostSetsGivesTheLow32BitsOfTheTruncatedTime) {
    anchorAt(1000);
    // 2^32 is exact in single precision: a step of 1 ms adds exactly 2^32.
    EXPECT_TRUE(clock.SetSpeed(4294967296.0f));
    EXPECT_EQ(1000u, clock.GetTime(0));
    time.advance(1);
    EXPECT_EQ(1000u, clock.GetTime(0));
    clock.UpdateRefTime(1000);  // expected advance 2^32 ms: a snap, and no overflow
    time.advance(1);
    EXPECT_EQ(1000u, clock.GetTime(0));

    EXPECT_TRUE(clock.SetSpeed(-1.0f));
    EXPECT_EQ(1000u, clock.GetTime(0));
    time.advance(1500);
    EXPECT_EQ(static_cast<uint32_t>(-500), clock.GetTime(0));

    EXPECT_TRUE(clock.SetSpeed(std::numeric_limits<float>::infinity()));
    time.advance(1);
    EXPECT_EQ(0u, clock.GetTime(0));
    EXPECT_TRUE(clock.SetSpeed(std::nanf("")));
    time.advance(1);
    EXPECT_EQ(0u, clock.GetTime(0));
}

}  // namespace
