#include "Common/TimeFunctions.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>

namespace RIVO_Common_Player {

namespace {

uint32_t monotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms =
        static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

class SystemTimeSource : public ITimeSource {
public:
    uint32_t timeMs() override { return monotonicMs(); }
    uint32_t tickMs() override { return monotonicMs(); }
    void sleepMs(uint32_t ms) override {
        timespec req{static_cast<time_t>(ms / 1000u), static_cast<long>(ms % 1000u) * 1000000L};
        while (nanosleep(&req, &req) != 0 && errno == EINTR) {
        }
    }
    void waitMs(CConditionVariable& condition, CLock& lock, uint32_t ms) override REQUIRES(lock) {
        condition.waitUntil(lock, std::chrono::steady_clock::now() + std::chrono::milliseconds(ms));
    }
};

SystemTimeSource g_systemSource;
std::atomic<ITimeSource*> g_source{&g_systemSource};

}  // namespace

void sleepMs(uint32_t ms) {
    g_source.load(std::memory_order_acquire)->sleepMs(ms);
}

void waitMs(CConditionVariable& condition, CLock& lock, uint32_t ms) {
    g_source.load(std::memory_order_acquire)->waitMs(condition, lock, ms);
}

uint32_t timeMs() {
    return g_source.load(std::memory_order_acquire)->timeMs();
}

uint32_t tickMs() {
    return g_source.load(std::memory_order_acquire)->tickMs();
}

void setTimeSourceForTesting(ITimeSource* source) {
    g_source.store(source ? source : &g_systemSource, std::memory_order_release);
}

}  // namespace RIVO_Common_Player
