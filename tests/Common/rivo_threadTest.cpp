#include "Common/rivo_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "Common/CAutoLock.h"
#include "Common/rivo_CMutex.h"

using namespace RIVO_Common_Player;

namespace {

// A worker that loops until its owner clears the flag, counting its starts.
class FlagLoop : public rivo_thread {
public:
    explicit FlagLoop(std::atomic<bool>& keepGoing) : m_keepGoing(keepGoing) {}
    ~FlagLoop() override { stop(); }

    std::atomic<int> starts{0};
    std::atomic<bool> runningInside{false};
    std::atomic<int> activeAtOnce{0};
    std::atomic<int> maxActiveAtOnce{0};

protected:
    void threadMain() override {
        runningInside = isRunning();
        starts++;
        const int active = ++activeAtOnce;
        int seen = maxActiveAtOnce.load();
        while (active > seen && !maxActiveAtOnce.compare_exchange_weak(seen, active)) {
        }
        while (m_keepGoing.load()) {
            std::this_thread::yield();
        }
        --activeAtOnce;
    }

private:
    std::atomic<bool>& m_keepGoing;
};

}  // namespace

TEST(RivoThread, StartStoresNameAndRunsThreadMain) {
    std::atomic<bool> keepGoing{true};
    FlagLoop loop(keepGoing);
    EXPECT_FALSE(loop.hasThread());
    EXPECT_STREQ("", loop.name());
    ASSERT_TRUE(loop.start(0x20000, "video loop"));
    EXPECT_STREQ("video loop", loop.name());
    while (loop.starts.load() == 0) {
        std::this_thread::yield();
    }
    EXPECT_TRUE(loop.hasThread());
    EXPECT_TRUE(loop.runningInside.load());
    keepGoing = false;
    loop.stop();
    EXPECT_FALSE(loop.hasThread());
    EXPECT_FALSE(loop.isRunning());
    ASSERT_TRUE(loop.start(0x20000, nullptr));
    EXPECT_STREQ("", loop.name());
}

TEST(RivoThread, StartingAgainWaitsForThePreviousThread) {
    std::atomic<bool> keepGoing{true};
    FlagLoop loop(keepGoing);
    loop.start(0x20000, nullptr);
    while (loop.starts.load() == 0) {
        std::this_thread::yield();
    }
    // The second start must block in stop() until the first loop has ended.
    std::atomic<bool> restarted{false};
    std::thread restarter([&] {
        loop.start(0x20000, nullptr);
        restarted = true;
    });
    for (int i = 0; i < 1000; ++i) {
        std::this_thread::yield();
    }
    EXPECT_FALSE(restarted.load());
    keepGoing = false;
    restarter.join();
    EXPECT_TRUE(restarted.load());
    loop.stop();
    EXPECT_EQ(2, loop.starts.load());
    EXPECT_EQ(1, loop.maxActiveAtOnce.load());
}

TEST(RivoThread, DestroyBlocksUntilTheLoopFlagIsCleared) {
    std::atomic<bool> keepGoing{true};
    auto* loop = new FlagLoop(keepGoing);
    loop->start(0x20000, nullptr);
    std::atomic<bool> destroyed{false};
    std::thread destroyer([&] {
        delete loop;
        destroyed = true;
    });
    for (int i = 0; i < 1000; ++i) {
        std::this_thread::yield();
    }
    EXPECT_FALSE(destroyed.load());
    keepGoing = false;
    destroyer.join();
    EXPECT_TRUE(destroyed.load());
}

TEST(RivoThread, DestroyAfterTheThreadEndedReturnsAtOnce) {
    std::atomic<bool> keepGoing{false};
    FlagLoop loop(keepGoing);
    loop.start(0x20000, nullptr);
    while (loop.starts.load() == 0 || loop.isRunning()) {
        std::this_thread::yield();
    }
    EXPECT_TRUE(loop.hasThread());  // finished but not collected yet
}

TEST(RivoCMutex, RecursiveLockingKeepsOwnerAndDepth) {
    rivo_CMutex mutex;
    EXPECT_EQ(0u, mutex.owner());
    EXPECT_EQ(0u, mutex.depth());
    {
        CAutoLock outer(&mutex);
        EXPECT_EQ(rivo_CMutex::currentThreadId(), mutex.owner());
        EXPECT_EQ(1u, mutex.depth());
        // A nested call re-enters the mutex (clang's analysis checks each
        // function on its own, so it accepts this deliberate re-entry).
        [&] {
            CAutoLock inner(&mutex);
            EXPECT_EQ(2u, mutex.depth());
        }();
        EXPECT_EQ(1u, mutex.depth());
        EXPECT_EQ(rivo_CMutex::currentThreadId(), mutex.owner());
    }
    EXPECT_EQ(0u, mutex.owner());
    EXPECT_EQ(0u, mutex.depth());
}

TEST(RivoCMutex, ExcludesOtherThreads) {
    rivo_CMutex mutex;
    int counter = 0;  // guarded by mutex
    auto work = [&] {
        for (int i = 0; i < 10000; ++i) {
            CAutoLock lock(&mutex);
            [&] {
                CAutoLock again(&mutex);
                ++counter;
            }();
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(20000, counter);
    EXPECT_EQ(0u, mutex.depth());
}

TEST(CAutoLock, NullMutexRunsUnlocked) {
    int ran = 0;
    {
        CAutoLock lock(nullptr);
        ++ran;
    }
    EXPECT_EQ(1, ran);
}
