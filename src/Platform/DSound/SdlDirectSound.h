#pragma once

#include "Common/CLock.h"
#include "Platform/DSound/DirectSound8.h"
#include "Platform/Win32/CRefCounted.h"

// The playback device behind DirectSoundCreate8: a share of SDL2's audio
// subsystem (audio only; SDL video is never started). Each sound buffer it
// creates is an SdlSoundBuffer with an SDL audio device of its own, so the
// sound server mixes the buffers. Buffers keep their device alive, so the
// subsystem is shut down only after the last of them is gone.
class SdlDirectSound : public CRefCounted<IDirectSound8> {
public:
    // Starts SDL's audio subsystem and answers a device with one reference.
    // DSERR_NODRIVER when SDL has no usable driver or no playback device.
    static HRESULT create(IDirectSound8** device);

    // SDL's audio subsystem is not safe to enter from several threads at
    // once: its start, stop and device opening and closing all hold this.
    static RIVO_Common_Player::CLock& sdlLock();

    // IUnknown: IID_IUnknown and IID_IDirectSound8.
    HRESULT QueryInterface(REFIID riid, void** ppvObject) override;

    // IDirectSound8
    HRESULT CreateSoundBuffer(LPCDSBUFFERDESC pcDSBufferDesc, IDirectSoundBuffer** ppDSBuffer,
                              IUnknown* pUnkOuter) override;
    HRESULT SetCooperativeLevel(HWND hwnd, DWORD dwLevel) override;

private:
    SdlDirectSound();
    ~SdlDirectSound() override;
};
