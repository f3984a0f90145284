#include "Platform/Win32/Win32Event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(Win32Event, AutoResetEventReleasesOneWaitPerSet) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(nullptr, event);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForMultipleObjects(1, &event, FALSE, 0));
    EXPECT_TRUE(SetEvent(event));
    EXPECT_TRUE(SetEvent(event));  // setting twice still releases one wait
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(1, &event, FALSE, 0));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForMultipleObjects(1, &event, FALSE, 0));
    EXPECT_TRUE(CloseHandle(event));
}

TEST(Win32Event, ManualResetEventStaysSignalledUntilReset) {
    HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(nullptr, event);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(1, &event, FALSE, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(1, &event, FALSE, 0));
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForMultipleObjects(1, &event, FALSE, 0));
    EXPECT_TRUE(CloseHandle(event));
}

TEST(Win32Event, WaitForAnyAnswersTheLowestSignalledIndex) {
    HANDLE events[3];
    for (HANDLE& event : events) {
        event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    SetEvent(events[2]);
    SetEvent(events[1]);
    EXPECT_EQ(WAIT_OBJECT_0 + 1, WaitForMultipleObjects(3, events, FALSE, 0));
    EXPECT_EQ(WAIT_OBJECT_0 + 2, WaitForMultipleObjects(3, events, FALSE, 0));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForMultipleObjects(3, events, FALSE, 0));
    for (HANDLE event : events) {
        CloseHandle(event);
    }
}

TEST(Win32Event, WaitForAllTakesTheEventsOnlyTogether) {
    HANDLE events[2] = {CreateEventW(nullptr, FALSE, TRUE, nullptr),
                        CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    EXPECT_EQ(WAIT_TIMEOUT, WaitForMultipleObjects(2, events, TRUE, 0));
    // The failed wait for all left the first event signalled.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(1, &events[0], FALSE, 0));
    SetEvent(events[0]);
    SetEvent(events[1]);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, events, TRUE, 0));
    // The auto-reset event was taken, the manual-reset one stays signalled.
    EXPECT_EQ(WAIT_OBJECT_0 + 1, WaitForMultipleObjects(2, events, FALSE, 0));
    CloseHandle(events[0]);
    CloseHandle(events[1]);
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

TEST(Win32Event, WaitTimesOutWithoutASignal) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForMultipleObjects(1, &event, FALSE, 20));
    CloseHandle(event);
}

TEST(Win32Event, InvalidArgumentsAndHandlesFail) {
    EXPECT_EQ(nullptr, CreateEventW(nullptr, FALSE, FALSE, L"shared"));
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(0, &event, FALSE, 0));
    EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, &event, FALSE, 0));
    EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(1, nullptr, FALSE, 0));
    EXPECT_TRUE(CloseHandle(event));
    EXPECT_FALSE(CloseHandle(event));
    EXPECT_FALSE(SetEvent(event));
    EXPECT_FALSE(ResetEvent(event));
    EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(1, &event, FALSE, 0));
    EXPECT_FALSE(SetEvent(nullptr));
}

TEST(Win32Event, ClosingAnEventEndsAWaitOnIt) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::atomic<bool> waiting{false};
    std::atomic<DWORD> result{WAIT_OBJECT_0};
    std::thread waiter([&] {
        waiting = true;
        result = WaitForMultipleObjects(1, &event, FALSE, INFINITE);
    });
    while (!waiting.load()) {
        std::this_thread::yield();
    }
    CloseHandle(event);
    waiter.join();
    EXPECT_EQ(WAIT_FAILED, result.load());
}
