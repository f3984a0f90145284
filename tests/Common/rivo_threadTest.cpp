#include "Common/rivo_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "Common/CAutoLock.h"
#include "Common/rivo_CMutex.h"

using namespace RIVO_Common_Player;

namespace {

// A worker that loops until its owner clears the flag, counting its starts
// and how many of its threads ever ran at once.
class FlagLoop : public rivo_thread {
public:
    explicit FlagLoop(std::atomic<bool>& keepGoing) : m_keepGoing(keepGoing) {}
    ~FlagLoop() override { stop(); }

    std::atomic<int> starts{0};
    std::atomic<int> maxActiveAtOnce{0};

protected:
    void threadMain() override {
        starts++;
        const int active = ++m_active;
        int seen = maxActiveAtOnce.load();
        while (active > seen && !maxActiveAtOnce.compare_exchange_weak(seen, active)) {
        }
        while (m_keepGoing.load()) {
            std::this_thread::yield();
        }
        --m_active;
    }

private:
    std::atomic<bool>& m_keepGoing;
    std::atomic<int> m_active{0};
};

void waitForStarts(const FlagLoop& loop, int starts) {
    while (loop.starts.load() < starts) {
        std::this_thread::yield();
    }
}

}  // namespace

// Starting again and destroying both wait until the running loop has ended.
TEST(RivoThread, StartingAgainAndDestroyingWaitForTheRunningLoop) {
    std::atomic<bool> keepGoing{true};
    auto* loop = new FlagLoop(keepGoing);
    loop->start(0x20000, nullptr);
    waitForStarts(*loop, 1);
    std::atomic<bool> restarted{false};
    std::thread restarter([&] {
        loop->start(0x20000, nullptr);
        restarted = true;
    });
    for (int i = 0; i < 1000; ++i) {
        std::this_thread::yield();
    }
    EXPECT_FALSE(restarted.load());
    keepGoing = false;
    restarter.join();
    waitForStarts(*loop, 2);
    EXPECT_EQ(1, loop->maxActiveAtOnce.load());
    // The second loop must see the cleared flag and end before it is raised
    // again, or the next start would wait for it for ever.
    loop->stop();

    keepGoing = true;
    loop->start(0x20000, nullptr);
    waitForStarts(*loop, 3);
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
}

// The mutex is recursive and excludes other threads.
TEST(RivoCMutex, IsRecursiveAndExcludesOtherThreads) {
    rivo_CMutex mutex;
    int counter = 0;  // guarded by mutex
    auto work = [&] {
        for (int i = 0; i < 10000; ++i) {
            CAutoLock lock(&mutex);
            // Re-entered from a nested call: clang's analysis checks each
            // function on its own, so it accepts this deliberate re-entry.
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
}
