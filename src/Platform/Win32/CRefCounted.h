#pragma once

#include <atomic>

#include "Platform/Win32/Win32Types.h"

// AddRef and Release of a COM-style interface: the object starts with one
// reference, for its creator, and deletes itself when the last one goes.
// References may be taken and dropped on any thread.
template <class Interface>
class CRefCounted : public Interface {
public:
    ULONG AddRef() override { return m_references.fetch_add(1, std::memory_order_relaxed) + 1; }

    ULONG Release() override {
        const ULONG left = m_references.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // The references held at this moment.
    ULONG references() const { return m_references.load(std::memory_order_acquire); }

protected:
    CRefCounted() : m_references(1) {}
    ~CRefCounted() override = default;

private:
    std::atomic<ULONG> m_references;
};
