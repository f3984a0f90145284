#include "Platform/Win32/Win32Event.h"

#include <chrono>
#include <new>
#include <unordered_set>

#include "Common/CConditionVariable.h"
#include "Common/CScopedLock.h"

using RIVO_Common_Player::CConditionVariable;
using RIVO_Common_Player::CLock;
using RIVO_Common_Player::CScopedLock;

namespace {

// All events share one lock and one condition variable: a waiter on several
// events then needs no registration with each of them, and a wait for all
// events can test and clear them as one step. Waits are rare (one per block
// of sound), so the shared wake-ups cost nothing worth avoiding.
CLock g_eventsLock;

struct EventObject {
    const bool manualReset;
    bool signalled GUARDED_BY(g_eventsLock);
};

struct EventTable {
    CConditionVariable changed;
    std::unordered_set<EventObject*> live GUARDED_BY(g_eventsLock);
};

EventTable& table() {
    static EventTable events;
    return events;
}

// The live event behind a handle, or null.
EventObject* find_Locked(EventTable& events, HANDLE handle) REQUIRES(g_eventsLock) {
    EventObject* event = static_cast<EventObject*>(handle);
    return events.live.count(event) ? event : nullptr;
}

// One test of a wait's condition, clearing what satisfies it. WAIT_TIMEOUT
// when the condition does not hold yet.
DWORD tryTake_Locked(EventTable& events, DWORD count, const HANDLE* handles, BOOL waitAll)
    REQUIRES(g_eventsLock) {
    EventObject* objects[MAXIMUM_WAIT_OBJECTS];
    bool allSignalled = true;
    for (DWORD i = 0; i < count; ++i) {
        objects[i] = find_Locked(events, handles[i]);
        if (!objects[i]) {
            return WAIT_FAILED;
        }
        allSignalled = allSignalled && objects[i]->signalled;
    }
    if (waitAll) {
        if (!allSignalled) {
            return WAIT_TIMEOUT;
        }
        for (DWORD i = 0; i < count; ++i) {
            if (!objects[i]->manualReset) {
                objects[i]->signalled = false;
            }
        }
        return WAIT_OBJECT_0;
    }
    for (DWORD i = 0; i < count; ++i) {
        if (objects[i]->signalled) {
            if (!objects[i]->manualReset) {
                objects[i]->signalled = false;
            }
            return WAIT_OBJECT_0 + i;
        }
    }
    return WAIT_TIMEOUT;
}

BOOL setSignalled(HANDLE handle, bool signalled) {
    EventTable& events = table();
    {
        CScopedLock lock(g_eventsLock);
        EventObject* event = find_Locked(events, handle);
        if (!event) {
            return FALSE;
        }
        event->signalled = signalled;
    }
    if (signalled) {
        events.changed.notifyAll();
    }
    return TRUE;
}

}  // namespace

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES /*lpEventAttributes*/, BOOL bManualReset,
                    BOOL bInitialState, LPCWSTR lpName) {
    if (lpName) {
        return nullptr;
    }
    EventObject* event =
        new (std::nothrow) EventObject{bManualReset != FALSE, bInitialState != FALSE};
    if (!event) {
        return nullptr;
    }
    EventTable& events = table();
    CScopedLock lock(g_eventsLock);
    events.live.insert(event);
    return event;
}

BOOL SetEvent(HANDLE hEvent) {
    return setSignalled(hEvent, true);
}

BOOL ResetEvent(HANDLE hEvent) {
    return setSignalled(hEvent, false);
}

DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                             DWORD dwMilliseconds) {
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || !lpHandles) {
        return WAIT_FAILED;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMilliseconds);
    EventTable& events = table();
    CScopedLock lock(g_eventsLock);
    for (;;) {
        const DWORD result = tryTake_Locked(events, nCount, lpHandles, bWaitAll);
        if (result != WAIT_TIMEOUT) {
            return result;
        }
        if (dwMilliseconds == INFINITE) {
            events.changed.wait(g_eventsLock);
        } else if (!events.changed.waitUntil(g_eventsLock, deadline)) {
            // The condition gets one last look: an event set just at the
            // deadline still counts.
            return tryTake_Locked(events, nCount, lpHandles, bWaitAll);
        }
    }
}

BOOL CloseHandle(HANDLE hObject) {
    EventTable& events = table();
    {
        CScopedLock lock(g_eventsLock);
        EventObject* event = find_Locked(events, hObject);
        if (!event) {
            return FALSE;
        }
        events.live.erase(event);
        delete event;
    }
    // Waiters on the closed event must see that it is gone.
    events.changed.notifyAll();
    return TRUE;
}
