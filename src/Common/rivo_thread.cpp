#include "Common/rivo_thread.h"

#include <pthread.h>

#include <cstdio>
#include <system_error>

namespace RIVO_Common_Player {

rivo_thread::rivo_thread() = default;

rivo_thread::~rivo_thread() {
    // A derived object is already gone when this runs, so its threadMain must
    // have returned by now: derived destructors stop the thread themselves.
    rivo_thread::stop();
}

bool rivo_thread::start(uint32_t /*stackSize*/, const char* name) {
    stop();
    try {
        m_thread = std::thread([this] { threadMain(); });
    } catch (const std::system_error&) {
        return false;
    }
    if (name && name[0]) {
        // The kernel keeps 15 characters of a thread's name.
        char shortName[16] = {};
        std::snprintf(shortName, sizeof(shortName), "%.15s", name);
        pthread_setname_np(m_thread.native_handle(), shortName);
    }
    return true;
}

void rivo_thread::stop() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

}  // namespace RIVO_Common_Player
