#pragma once

#include "Platform/D3D9/Direct3D9ForTesting.h"

// Puts faults into the real Direct3D 9 stand-in for the object's lifetime
// and takes them all out again afterwards.
class ScopedDirect3D9Faults {
public:
    explicit ScopedDirect3D9Faults(const Direct3D9Faults& faults);
    ~ScopedDirect3D9Faults();

    ScopedDirect3D9Faults(const ScopedDirect3D9Faults&) = delete;
    ScopedDirect3D9Faults& operator=(const ScopedDirect3D9Faults&) = delete;
};
