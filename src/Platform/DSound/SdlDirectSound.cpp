#include "Platform/DSound/SdlDirectSound.h"

#include <SDL.h>

#include <new>

#include "Common/CScopedLock.h"
#include "Platform/DSound/SdlSoundBuffer.h"

using RIVO_Common_Player::CLock;
using RIVO_Common_Player::CScopedLock;

HRESULT SdlDirectSound::create(IDirectSound8** device) {
    CScopedLock lock(sdlLock());
    // SDL's start-up would otherwise take SIGINT and SIGTERM for itself; a
    // library leaves the host's signal handling as the host set it up.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        return DSERR_NODRIVER;
    }
    if (SDL_GetNumAudioDevices(0) < 1) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return DSERR_NODRIVER;
    }
    SdlDirectSound* created = new (std::nothrow) SdlDirectSound();
    if (!created) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return DSERR_OUTOFMEMORY;
    }
    *device = created;
    return DS_OK;
}

CLock& SdlDirectSound::sdlLock() {
    static CLock lock;
    return lock;
}

SdlDirectSound::SdlDirectSound() = default;

SdlDirectSound::~SdlDirectSound() {
    CScopedLock lock(sdlLock());
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

HRESULT SdlDirectSound::QueryInterface(REFIID riid, void** ppvObject) {
    if (!ppvObject) {
        return E_POINTER;
    }
    if (riid != IID_IUnknown && riid != IID_IDirectSound8) {
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    *ppvObject = static_cast<IDirectSound8*>(this);
    AddRef();
    return S_OK;
}

HRESULT SdlDirectSound::CreateSoundBuffer(LPCDSBUFFERDESC pcDSBufferDesc,
                                          IDirectSoundBuffer** ppDSBuffer, IUnknown* pUnkOuter) {
    if (!ppDSBuffer) {
        return DSERR_INVALIDPARAM;
    }
    *ppDSBuffer = nullptr;
    if (pUnkOuter) {
        return DSERR_NOAGGREGATION;
    }
    SdlSoundBuffer* buffer = new (std::nothrow) SdlSoundBuffer(this);
    if (!buffer) {
        return DSERR_OUTOFMEMORY;
    }
    HRESULT result = buffer->initialize(pcDSBufferDesc);
    if (SUCCEEDED(result)) {
        result = buffer->openDevice();
    }
    if (FAILED(result)) {
        buffer->Release();
        return result;
    }
    *ppDSBuffer = buffer;
    return DS_OK;
}

HRESULT SdlDirectSound::SetCooperativeLevel(HWND hwnd, DWORD dwLevel) {
    if (!hwnd || dwLevel < DSSCL_NORMAL || dwLevel > DSSCL_WRITEPRIMARY) {
        return DSERR_INVALIDPARAM;
    }
    return dwLevel == DSSCL_WRITEPRIMARY ? DSERR_UNSUPPORTED : DS_OK;
}
