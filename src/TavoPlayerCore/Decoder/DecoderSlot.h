#pragma once

#include <new>

// The player keeps each decoder in a pointer slot. Creation functions fill an
// empty slot and refuse an occupied one; destroyDecoder empties it again.

// Creates a Concrete(args...) into *slot when the slot is empty. False, and
// nothing changed, when the slot is occupied (or memory cannot be had).
template <class Interface, class Concrete, class... Args>
bool createDecoderInSlot(Interface** slot, Args... args) {
    if (!slot || *slot) {
        return false;
    }
    *slot = new (std::nothrow) Concrete(args...);
    return *slot != nullptr;
}

// Deletes the decoder in *slot through its virtual destructor and clears the
// slot. False when there was none.
template <class Interface>
bool destroyDecoder(Interface** slot) {
    if (!slot || !*slot) {
        return false;
    }
    delete *slot;
    *slot = nullptr;
    return true;
}
