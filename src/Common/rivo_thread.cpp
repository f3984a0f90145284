#include "Common/rivo_thread.h"

#include <pthread.h>

#include <cstdio>
#include <cstring>
#include <system_error>

namespace RIVO_Common_Player {

rivo_thread::rivo_thread() : m_running(false) {
    std::memset(m_name, 0, sizeof(m_name));
}

rivo_thread::~rivo_thread() {
    // A derived object is already gone when this runs, so its threadMain must
    // have returned by now: derived destructors stop the thread themselves.
    rivo_thread::stop();
}

bool rivo_thread::start(uint32_t /*stackSize*/, const char* name) {
    stop();
    std::memset(m_name, 0, sizeof(m_name));
    if (name) {
        std::strncpy(m_name, name, sizeof(m_name) - 1);
    }
    try {
        m_thread = std::thread(&rivo_thread::threadEntry, this);
    } catch (const std::system_error&) {
        return false;
    }
    if (m_name[0]) {
        // The kernel keeps 15 characters of a thread's name.
        char shortName[16] = {};
        std::snprintf(shortName, sizeof(shortName), "%.15s", m_name);
        pthread_setname_np(m_thread.native_handle(), shortName);
    }
    return true;
}

void rivo_thread::stop() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void rivo_thread::threadEntry(rivo_thread* self) {
    self->m_running.store(true, std::memory_order_release);
    self->threadMain();
    self->m_running.store(false, std::memory_order_release);
}

}  // namespace RIVO_Common_Player
