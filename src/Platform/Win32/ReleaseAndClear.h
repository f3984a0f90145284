#pragma once

// Drops the reference a COM-style pointer holds, if any, and clears the
// pointer, so that it is never released twice.
template <class Object>
void releaseAndClear(Object** object) {
    if (*object) {
        (*object)->Release();
        *object = nullptr;
    }
}
