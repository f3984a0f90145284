#pragma once

#include <atomic>

#include "Platform/Win32Types.h"

// The reference count of the Direct3D stand-in's objects: created with one
// reference, destroyed through the virtual destructor by the last Release.
template <class Interface>
class CD3D9Object : public Interface {
public:
    CD3D9Object() : m_references(1) {}

    CD3D9Object(const CD3D9Object&) = delete;
    CD3D9Object& operator=(const CD3D9Object&) = delete;

    ULONG AddRef() override { return m_references.fetch_add(1, std::memory_order_relaxed) + 1; }

    ULONG Release() override {
        const ULONG left = m_references.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    ULONG references() const { return m_references.load(std::memory_order_acquire); }

protected:
    ~CD3D9Object() override = default;

private:
    std::atomic<ULONG> m_references;
};
