#pragma once

// Win32 event objects on a mutex and a condition variable. An event is either
// auto-reset (a wait that it satisfies clears it again, so it releases one
// waiter per SetEvent) or manual-reset (it stays signalled until ResetEvent).
// Handles are validated: a closed or unknown handle makes the calls fail
// instead of touching freed memory.

#include "Platform/Win32/Win32Types.h"

struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64u

// Creates an unnamed event. Security attributes are accepted and ignored;
// named (shareable) events are not offered: a name makes the call fail.
// Returns null on failure.
HANDLE CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                    LPCWSTR lpName);
// Signals the event and wakes its waiters. FALSE for an invalid handle.
BOOL SetEvent(HANDLE hEvent);
// Clears the event. FALSE for an invalid handle.
BOOL ResetEvent(HANDLE hEvent);
// Waits until one of the events is signalled (bWaitAll FALSE: the lowest such
// index wins and WAIT_OBJECT_0 + index is returned) or all of them are at once
// (bWaitAll TRUE: WAIT_OBJECT_0), or until dwMilliseconds have passed
// (WAIT_TIMEOUT; INFINITE never times out, 0 only tests). The events the wait
// is satisfied by are cleared when they are auto-reset. WAIT_FAILED when the
// count is 0 or above MAXIMUM_WAIT_OBJECTS, or a handle is invalid or gets
// closed during the wait.
DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                             DWORD dwMilliseconds);
// Destroys the event. FALSE for an invalid handle.
BOOL CloseHandle(HANDLE hObject);
