#include "tavoplay/Backoff.h"

#include <gtest/gtest.h>

#include <vector>

// Each failure waits twice as long as the one before, from 1 s up to 30 s;
// a connection that delivers starts the schedule afresh.
TEST(BackoffTest, DelaysDoubleUpToThirtySecondsAndStartAgainAfterASuccess) {
    int64_t now = 5000;
    Backoff backoff([&now] { return now; });
    EXPECT_EQ(0, backoff.waitMs());
    std::vector<int64_t> delays;
    for (int i = 0; i < 8; ++i) {
        backoff.failed();
        delays.push_back(backoff.waitMs());
        now += 700;
        EXPECT_EQ(delays.back() > 700 ? delays.back() - 700 : 0, backoff.waitMs());
        now += delays.back();
    }
    EXPECT_EQ((std::vector<int64_t>{1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000}), delays);
    EXPECT_EQ(8, backoff.failures());

    backoff.succeeded();
    EXPECT_EQ(0, backoff.waitMs());
    backoff.failed();
    EXPECT_EQ(1000, backoff.waitMs());
}
