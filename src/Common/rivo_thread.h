#pragma once

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

    // Waits for a previous thread of this object (through stop()) and starts a
    // new thread that runs threadMain(), named after name when it is given.
    // The requested stack size is accepted for the callers' sake but the
    // system's default is used. Returns false when no thread could be created.
    virtual bool start(uint32_t stackSize, const char* name);
    // Waits for the thread to return and forgets it. Does not ask it to end.
    virtual void stop();

protected:
    virtual void threadMain() = 0;

private:
    std::thread m_thread;
};

}  // namespace RIVO_Common_Player
