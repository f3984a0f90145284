#include "Common/TimeFunctions.h"

#include <gtest/gtest.h>

#include "support/ManualTimeSource.h"

using namespace RIVO_Common_Player;

TEST(TimeFunctions, ReadTheInstalledSourceAndComeBackToTheSystemClock) {
    {
        ManualTimeSource manual(0xFFFFFFF0u);
        EXPECT_EQ(0xFFFFFFF0u, timeMs());
        EXPECT_EQ(0xFFFFFFF0u, tickMs());
        manual.advance(0x20);
        EXPECT_EQ(0x10u, timeMs());  // wraps like the 32-bit timer
        sleepMs(5);
        EXPECT_EQ(0x10u, timeMs());
        EXPECT_EQ(5u, manual.sleptMs());
        manual.setAdvanceOnSleep(true);
        sleepMs(5);
        EXPECT_EQ(0x15u, timeMs());
    }
    const uint32_t before = timeMs();
    sleepMs(2);
    EXPECT_GE(timeMs() - before, 2u);
}
