#include "Platform/D3D9/Direct3D9ForTesting.h"

#include <atomic>

#include "Common/CScopedLock.h"

using RIVO_Common_Player::CLock;
using RIVO_Common_Player::CScopedLock;

namespace {

std::atomic<Direct3DCreate9Function> g_create{nullptr};

CLock g_faultsLock;
Direct3D9Faults g_faults GUARDED_BY(g_faultsLock);
bool g_losePresent GUARDED_BY(g_faultsLock) = false;
UINT g_lostAnswers GUARDED_BY(g_faultsLock) = 0;
// Per call kind: calls still to come before the failing one (0: none asked
// for), and what that one answers.
UINT g_callsToFailure[kDirect3D9CallKinds] GUARDED_BY(g_faultsLock) = {};
HRESULT g_callFailure[kDirect3D9CallKinds] GUARDED_BY(g_faultsLock) = {};

}  // namespace

void setDirect3DCreate9ForTesting(Direct3DCreate9Function create) {
    g_create.store(create);
}

Direct3DCreate9Function direct3DCreate9ForTesting() {
    return g_create.load();
}

void setDirect3D9FaultsForTesting(const Direct3D9Faults& faults) {
    CScopedLock guard(g_faultsLock);
    g_faults = faults;
}

Direct3D9Faults direct3D9FaultsForTesting() {
    CScopedLock guard(g_faultsLock);
    return g_faults;
}

void loseNextPresentForTesting(UINT lostAnswers) {
    CScopedLock guard(g_faultsLock);
    g_losePresent = true;
    g_lostAnswers = lostAnswers;
}

bool takePresentLossForTesting(UINT* lostAnswers) {
    CScopedLock guard(g_faultsLock);
    if (!g_losePresent) {
        return false;
    }
    g_losePresent = false;
    *lostAnswers = g_lostAnswers;
    return true;
}

void failCallForTesting(Direct3D9Call call, UINT nth, HRESULT result) {
    CScopedLock guard(g_faultsLock);
    g_callsToFailure[static_cast<int>(call)] = nth;
    g_callFailure[static_cast<int>(call)] = result;
}

HRESULT takeCallFailureForTesting(Direct3D9Call call) {
    CScopedLock guard(g_faultsLock);
    UINT& toGo = g_callsToFailure[static_cast<int>(call)];
    if (toGo == 0 || --toGo > 0) {
        return D3D_OK;
    }
    return g_callFailure[static_cast<int>(call)];
}
