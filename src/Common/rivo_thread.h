#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

namespace RIVO_Common_Player {

// Base of every worker thread of the engine. A derived class implements
// threadMain() as a loop that watches a flag of its owner; the owner clears
// that flag and then stops or destroys the object, which waits for the loop
// without a time limit.
class rivo_thread {
public:
    rivo_thread();
    virtual ~rivo_thread();

    // Waits for a previous thread of this object (through stop()), records the
    // name (null clears it) and starts a new thread that runs threadMain().
    // The requested stack size is accepted for the callers' sake but the
    // system's default is used. Returns false when no thread could be created.
    virtual bool start(uint32_t stackSize, const char* name);
    // Waits for the thread to return and forgets it. Does not ask it to end.
    virtual void stop();

    // True while threadMain() executes on the worker thread.
    bool isRunning() const { return m_running.load(std::memory_order_acquire); }
    // True between a successful start() and the next stop().
    bool hasThread() const { return m_thread.joinable(); }
    const char* name() const { return m_name; }

protected:
    virtual void threadMain() = 0;

private:
    static void threadEntry(rivo_thread* self);

    std::thread m_thread;
    char m_name[256];
    std::atomic<bool> m_running;
};

}  // namespace RIVO_Common_Player
