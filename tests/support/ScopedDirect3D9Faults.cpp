#include "support/ScopedDirect3D9Faults.h"

ScopedDirect3D9Faults::ScopedDirect3D9Faults(const Direct3D9Faults& faults) {
    setDirect3D9FaultsForTesting(faults);
}

ScopedDirect3D9Faults::~ScopedDirect3D9Faults() {
    setDirect3D9FaultsForTesting(Direct3D9Faults());
}
