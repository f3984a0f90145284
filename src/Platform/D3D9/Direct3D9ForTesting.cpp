#include "Platform/D3D9/Direct3D9ForTesting.h"

#include <atomic>
#include <mutex>

namespace {

std::atomic<Direct3DCreate9Function> g_create{nullptr};

std::mutex g_faultsMutex;
Direct3D9Faults g_faults;    // guarded by g_faultsMutex
bool g_losePresent = false;  // guarded by g_faultsMutex
UINT g_lostAnswers = 0;      // guarded by g_faultsMutex
// Per call kind: calls still to come before the failing one (0: none asked
// for), and what that one answers.
UINT g_callsToFailure[kDirect3D9CallKinds] = {};  // guarded by g_faultsMutex
HRESULT g_callFailure[kDirect3D9CallKinds] = {};  // guarded by g_faultsMutex

}  // namespace

void setDirect3DCreate9ForTesting(Direct3DCreate9Function create) {
    g_create.store(create);
}

Direct3DCreate9Function direct3DCreate9ForTesting() {
    return g_create.load();
}

void setDirect3D9FaultsForTesting(const Direct3D9Faults& faults) {
    std::lock_guard<std::mutex> guard(g_faultsMutex);
    g_faults = faults;
}

Direct3D9Faults direct3D9FaultsForTesting() {
    std::lock_guard<std::mutex> guard(g_faultsMutex);
    return g_faults;
}

void loseNextPresentForTesting(UINT lostAnswers) {
    std::lock_guard<std::mutex> guard(g_faultsMutex);
    g_losePresent = true;
    g_lostAnswers = lostAnswers;
}

bool takePresentLossForTesting(UINT* lostAnswers) {
    std::lock_guard<std::mutex> guard(g_faultsMutex);
    if (!g_losePresent) {
        return false;
    }
    g_losePresent = false;
    *lostAnswers = g_lostAnswers;
    return true;
}

void failCallForTesting(Direct3D9Call call, UINT nth, HRESULT result) {
    std::lock_guard<std::mutex> guard(g_faultsMutex);
    g_callsToFailure[static_cast<int>(call)] = nth;
    g_callFailure[static_cast<int>(call)] = result;
}

HRESULT takeCallFailureForTesting(Direct3D9Call call) {
    std::lock_guard<std::mutex> guard(g_faultsMutex);
    UINT& toGo = g_callsToFailure[static_cast<int>(call)];
    if (toGo == 0 || --toGo > 0) {
        return D3D_OK;
    }
    return g_callFailure[static_cast<int>(call)];
}
