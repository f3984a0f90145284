#include "TavoPlayerCore/CMediaRefClock.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "support/ManualTimeSource.h"

namespace {

// A clock scenario on the manual timer, as a script of steps, each a letter
// and a number:
//   W ms   the timer moves on        P t   UpdateRefTime(t)
//   R t    GetTime(0) reads t        A t   UpdateAudioTime(t)
//   a t    GetAudioTime() reads t    E t   GetElapsed() reads t
//   H 0|1  HasRefTime()              S x   SetSpeed(x)
//   D ms   SetMaxDrift (D-1: off)    M n   SetMode(n)
//   I t    InitRefTime(t)            T t   SetRefTime(t)
//   F 0|1  SetFreeRun                f 0|1 SetFreeze
//   O t    UpdateHeardTime(t)
//   p r s Z  Pause, Run, Stop, Reset
struct ClockCase {
    const char* name;
    uint32_t startMs;
    const char* script;
};

const ClockCase kCases[] = {
    {"FreshClockReadsZero", 10000, "W500 R0 a0 E0 H0"},
    // Pictures with up to 150 ms of jitter: the clock runs on from its anchor.
    {"JitterInsideTheBandNeverMovesTheClock", 10000,
     "P1000 R1000 W40 P1190 R1040 W40 P930 R1080 W7 R1087 H1 E87"},
    {"ExactlyTheToleranceAheadStaysOneMoreSnaps", 10000,
     "P1000 R1000 W40 P1240 R1040 W40 P1281 R1281 W25 R1306 W40 P1321 R1346"},
    {"FallingBehindByMoreThanTheToleranceSnapsBack", 10000,
     "P1000 R1000 W200 P1000 R1200 W1 P1000 R1000"},
    // The base of a snap is the first reading after the update.
    {"AFarAheadTimestampIsTakenAtTheNextReading", 10000,
     "P1000 R1000 W40 P1340 W15 R1340 W10 R1350"},
    {"ChangingTheSpeedReanchorsAtTheLatestTimestamp", 10000,
     "P1000 R1000 W100 R1100 S1.2 R1000 W100 R1120 S1.2 W100 R1240 P1240 W50 R1300"},
    // A restart near zero, ten minutes forward, ten minutes back, the wrap at 2^32.
    {"AJumpOfMoreThanFiveSecondsEitherWayDropsTheAnchor", 10000,
     "P60000 R60000 W40 P100 R100 W40 R140 P600140 R600140 W40 P5140 R5140 W40 R5180 "
     "P4294967290 R4294967290 W6 P0 R0"},
    {"AStepBackThatIsNoRestartKeepsTheAnchor", 10000, "P8000 R8000 W40 P4000 R8040"},
    {"ModeTwoReadsZeroAndKeepsTheTolerance", 10000, "M2 P5000 W100 R0 D-1 M1 S2 R5000 W50 R5100"},
    {"WithoutDriftCheckSpeedAndTimestampsAreIgnored", 10000,
     "D-1 P1000 R1000 S2 R1000 W100 R1100 P9000 W10 R1110"},
    {"AToleranceOfZeroSnapsOnEveryDeviation", 10000,
     "D0 P1000 R1000 W40 P1040 R1040 W40 P1081 R1081"},
    {"AudioTimeRunsFromItsLastUpdateAndDrivesNoPictures", 10000,
     "A5000 a5000 W30 a5030 A5020 W5 a5025 R0 H0"},
    // The device's position is the clock while it reports (within 200 ms)...
    {"APlayingDeviceLeadsTheClockUntilItFallsSilent", 10000,
     "P1000 R1000 O950 R950 W30 R980 P1040 W30 R1010 W201 R1211"},
    // ... but not at another speed, nor a jump away from the pictures.
    {"NotAtAnotherSpeedNorAcrossAJump", 10000,
     "P1000 R1000 O900 R900 S1.2 R1000 O900 R1000 S1 O9000 R1000 W10 R1010 a9010"},
    {"ResetForgetsTimestampsSpeedAndSoundButKeepsTheTolerance", 10000,
     "D-1 S1.2 P1000 R1000 A700 W100 R1100 Z H0 a0 R0 P3000 S2 R3000 W20 R3020"},
    {"PauseHoldsRunReanchorsStopReadsZero", 10000,
     "P1000 R1000 W100 R1100 p W500 R1100 P1060 R1100 r R1060 W30 R1090 s R0 E0 W30 R0"},
    {"FreeRunRunsWithoutTimestampsAndFreezeHoldsIt", 10000,
     "I5000 R5000 W100 R5000 F1 H0 R5000 W100 R5100 f1 W100 R5100 f0 R5200 T7000 W10 R7000 W10 "
     "R7010"},
    // The 32-bit timer wraps from 0xFFFFFFFF to 0 in the middle.
    {"TheTimerWrappingAroundDoesNotDisturbTheClock", 0xFFFFFF00u,
     "P1000 R1000 A400 W200 P1200 R1200 W200 P1400 R1400 a800"},
    {"ASnapJustBeforeTheWrapRunsOnAcrossIt", 0xFFFFFFC0u, "P1000 R1000 W40 P1340 R1340 W32 R1372"},
    // Any speed gives the low 32 bits of the truncated time; 2^32 is exact in
    // single precision, so one ms adds exactly 2^32.
    {"AnySpeedGivesTheLow32BitsOfTheTruncatedTime", 10000,
     "P1000 R1000 S4294967296 R1000 W1 R1000 P1000 W1 R1000 S-1 R1000 W1500 R4294966796 "
     "Sinf W1 R0 Snan W1 R0"},
};

class ClockScenario : public ::testing::TestWithParam<ClockCase> {};

TEST_P(ClockScenario, ReadsAsExpected) {
    ManualTimeSource time(GetParam().startMs);
    CMediaRefClock clock;
    const std::map<char, std::function<uint32_t()>> reads = {
        {'R', [&] { return clock.GetTime(0); }},
        {'a', [&] { return clock.GetAudioTime(); }},
        {'E', [&] { return clock.GetElapsed(); }},
        {'H', [&] { return static_cast<uint32_t>(clock.HasRefTime()); }}};
    const std::map<char, std::function<void(uint32_t)>> actions = {
        {'W', [&](uint32_t v) { time.advance(v); }},
        {'P', [&](uint32_t v) { clock.UpdateRefTime(v); }},
        {'A', [&](uint32_t v) { clock.UpdateAudioTime(v); }},
        {'O', [&](uint32_t v) { clock.UpdateHeardTime(v); }},
        {'D', [&](uint32_t v) { clock.SetMaxDrift(v); }},
        {'M', [&](uint32_t v) { clock.SetMode(v); }},
        {'I', [&](uint32_t v) { clock.InitRefTime(v); }},
        {'T', [&](uint32_t v) { clock.SetRefTime(v); }},
        {'F', [&](uint32_t v) { clock.SetFreeRun(v); }},
        {'f', [&](uint32_t v) { clock.SetFreeze(v); }},
        {'p', [&](uint32_t) { clock.Pause(); }},
        {'r', [&](uint32_t) { clock.Run(); }},
        {'s', [&](uint32_t) { clock.Stop(); }},
        {'Z', [&](uint32_t) { clock.Reset(); }}};
    std::istringstream script(GetParam().script);
    for (std::string step; script >> step;) {
        SCOPED_TRACE(step);
        const double arg = step.size() > 1 ? std::stod(step.substr(1)) : 0;
        if (step[0] == 'S') {  // speeds may be negative or not finite
            clock.SetSpeed(static_cast<float>(arg));
            continue;
        }
        const uint32_t value = static_cast<uint32_t>(static_cast<int64_t>(arg));
        if (reads.count(step[0])) {
            EXPECT_EQ(value, reads.at(step[0])());
        } else {
            ASSERT_TRUE(actions.count(step[0]));
            actions.at(step[0])(value);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(CMediaRefClock, ClockScenario, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ClockCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
