#include "Platform/Win32/Win32Event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

DWORD poll(DWORD count, const HANDLE* events, BOOL all = FALSE) {
    return WaitForMultipleObjects(count, events, all, 0);
}

}  // namespace

TEST(Win32Event, AutoResetReleasesOneWaitPerSetAndManualResetStaysSignalled) {
    HANDLE events[2] = {CreateEventW(nullptr, FALSE, FALSE, nullptr),
                        CreateEventW(nullptr, TRUE, TRUE, nullptr)};
    EXPECT_EQ(WAIT_TIMEOUT, poll(1, &events[0]));
    EXPECT_TRUE(SetEvent(events[0]));
    EXPECT_TRUE(SetEvent(events[0]));  // setting twice still releases one wait
    EXPECT_EQ(WAIT_OBJECT_0, poll(1, &events[0]));
    EXPECT_EQ(WAIT_TIMEOUT, poll(1, &events[0]));

    EXPECT_EQ(WAIT_OBJECT_0, poll(1, &events[1]));
    EXPECT_EQ(WAIT_OBJECT_0, poll(1, &events[1]));
    EXPECT_TRUE(ResetEvent(events[1]));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForMultipleObjects(2, events, FALSE, 20));  // times out
    EXPECT_TRUE(CloseHandle(events[0]));
    EXPECT_TRUE(CloseHandle(events[1]));
}

TEST(Win32Event, WaitForAnyTakesTheLowestIndexAndWaitForAllTakesAllTogether) {
    HANDLE events[3] = {CreateEventW(nullptr, FALSE, FALSE, nullptr),
                        CreateEventW(nullptr, FALSE, FALSE, nullptr),
                        CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    SetEvent(events[2]);
    SetEvent(events[1]);
    EXPECT_EQ(WAIT_OBJECT_0 + 1, poll(3, events));
    EXPECT_EQ(WAIT_OBJECT_0 + 2, poll(3, events));

    SetEvent(events[0]);
    EXPECT_EQ(WAIT_TIMEOUT, poll(2, events, TRUE));
    // The failed wait for all left the first event signalled.
    SetEvent(events[1]);
    EXPECT_EQ(WAIT_OBJECT_0, poll(3, events, TRUE));
    // The auto-reset events were taken, the manual-reset one stays signalled.
    EXPECT_EQ(WAIT_OBJECT_0 + 2, poll(3, events));
    for (HANDLE event : events) {
        CloseHandle(event);
    }
}

TEST(Win32Event, WaiterWakesWhenAnotherThreadSetsTheEvent) {
    HANDLE events[2] = {CreateEventW(nullptr, FALSE, FALSE, nullptr),
                        CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    std::atomic<DWORD> result{WAIT_FAILED};
    std::thread waiter([&] { result = WaitForMultipleObjects(2, events, FALSE, INFINITE); });
    SetEvent(events[1]);
    waiter.join();
    EXPECT_EQ(WAIT_OBJECT_0 + 1, result.load());
    CloseHandle(events[0]);
    CloseHandle(events[1]);
}

TEST(Win32Event, ClosedHandlesFail) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    EXPECT_TRUE(CloseHandle(event));
    EXPECT_FALSE(CloseHandle(event));
    EXPECT_FALSE(SetEvent(event));
    EXPECT_FALSE(ResetEvent(event));
    EXPECT_EQ(WAIT_FAILED, poll(1, &event));
    EXPECT_FALSE(SetEvent(nullptr));
}
