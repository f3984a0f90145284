#include "Platform/DDraw/DirectDraw.h"

#include <atomic>
#include <new>

#include "Platform/DDraw/CDirectDraw7.h"
#include "Platform/DDraw/CDirectDrawSurface.h"
#include "Platform/DDraw/CDirectDrawYV12Surface.h"

const IID IID_IDirectDraw7 = {
    0x15E65EC0, 0x3B9C, 0x11D2, {0xB9, 0x2F, 0x00, 0x60, 0x97, 0x97, 0xEA, 0x5B}};

namespace {

std::atomic<DirectDrawCreateExFunction> g_createEx{nullptr};

HRESULT createDirectDraw(GUID* guid, void** directDraw, REFIID iid, IUnknown* outer) {
    if (!directDraw) {
        return DDERR_INVALIDPARAMS;
    }
    *directDraw = nullptr;
    if (guid) {
        return DDERR_INVALIDDIRECTDRAWGUID;
    }
    if (iid != IID_IDirectDraw7) {
        return DDERR_INVALIDPARAMS;
    }
    if (outer) {
        return CLASS_E_NOAGGREGATION;
    }
    IDirectDraw7* created = new (std::nothrow) CDirectDraw7();
    if (!created) {
        return DDERR_OUTOFMEMORY;
    }
    *directDraw = created;
    return DD_OK;
}

}  // namespace

HRESULT DirectDrawCreateEx(GUID* guid, void** directDraw, REFIID iid, IUnknown* outer) {
    const DirectDrawCreateExFunction redirected = g_createEx.load();
    return redirected ? redirected(guid, directDraw, iid, outer)
                      : createDirectDraw(guid, directDraw, iid, outer);
}

DirectDrawCreateExFunction DirectDrawRedirectCreateEx(DirectDrawCreateExFunction function) {
    return g_createEx.exchange(function);
}

void DirectDrawSimulateModeChange() {
    CDirectDrawSurface::loseAll();
}

void DirectDrawSimulateBusyLocks(int count) {
    CDirectDrawYV12Surface::simulateBusyLocks(count);
}
