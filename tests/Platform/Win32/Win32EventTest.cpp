#include "Platform/Win32/Win32Event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

DWORD poll(DWORD count, const HANDLE* events) {
    return WaitForMultipleObjects(count, events, FALSE, 0);
}

}  // namespace

// The audio output's two notification events: auto-reset, waited for together.
TEST(Win32Event, AutoResetEventsReleaseOneWaitPerSetLowestIndexFirst) {
    HANDLE events[2] = {CreateEventW(nullptr, FALSE, FALSE, nullptr),
                        CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    EXPECT_EQ(WAIT_TIMEOUT, poll(2, events));
    EXPECT_TRUE(SetEvent(events[1]));
    EXPECT_TRUE(SetEvent(events[1]));  // setting twice still releases one wait
    EXPECT_TRUE(SetEvent(events[0]));
    EXPECT_EQ(WAIT_OBJECT_0, poll(2, events));
    EXPECT_EQ(WAIT_OBJECT_0 + 1, poll(2, events));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForMultipleObjects(2, events, FALSE, 20));  // times out
    EXPECT_TRUE(CloseHandle(events[0]));
    EXPECT_TRUE(CloseHandle(events[1]));
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
