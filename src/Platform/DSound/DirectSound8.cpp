#include "Platform/DSound/DirectSound8.h"

#include <atomic>

#include "Platform/DSound/SdlDirectSound.h"

namespace {

std::atomic<DirectSoundCreate8Function> g_redirect{nullptr};
std::atomic<bool> g_failOnPurpose{false};

}  // namespace

HRESULT DirectSoundCreate8(LPCGUID lpcGuidDevice, IDirectSound8** ppDS8, IUnknown* pUnkOuter) {
    const DirectSoundCreate8Function redirect = g_redirect.load();
    if (redirect) {
        return redirect(lpcGuidDevice, ppDS8, pUnkOuter);
    }
    if (!ppDS8) {
        return DSERR_INVALIDPARAM;
    }
    *ppDS8 = nullptr;
    if (pUnkOuter) {
        return DSERR_NOAGGREGATION;
    }
    // Only the default playback device is offered.
    if (lpcGuidDevice || g_failOnPurpose.load()) {
        return DSERR_NODRIVER;
    }
    return SdlDirectSound::create(ppDS8);
}

void setDirectSoundCreate8ForTesting(DirectSoundCreate8Function create) {
    g_redirect.store(create);
}

void setDirectSoundFailureForTesting(bool fail) {
    g_failOnPurpose.store(fail);
}
