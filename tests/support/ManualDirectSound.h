#pragma once

#include <atomic>
#include <mutex>
#include <vector>

#include "Platform/DSound/DirectSound8.h"
#include "Platform/Win32/CRefCounted.h"
#include "support/ManualSoundBuffer.h"

// A DirectSound device for tests. While one is installed, DirectSoundCreate8
// hands it out (with a new reference); its buffers are ManualSoundBuffers,
// which play only when the test advances them. It can be told to fail.
class ManualDirectSound : public CRefCounted<IDirectSound8> {
public:
    // Creates a device, holding one reference for the test, and installs it.
    ManualDirectSound();

    // Uninstalls the device and drops the test's reference.
    void uninstall();

    // Results to answer instead of creating or accepting anything.
    std::atomic<HRESULT> cooperativeLevelResult{DS_OK};
    std::atomic<HRESULT> createSoundBufferResult{DS_OK};

    // References held by others than the test (the renderer's).
    ULONG foreignReferences() const { return references() - 1; }
    // The buffers created so far; the device keeps a reference on each.
    std::vector<ManualSoundBuffer*> buffers() const;

    HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
    HRESULT CreateSoundBuffer(LPCDSBUFFERDESC pcDSBufferDesc, IDirectSoundBuffer** ppDSBuffer,
                              IUnknown* pUnkOuter) override;
    HRESULT SetCooperativeLevel(HWND hwnd, DWORD dwLevel) override;

protected:
    ~ManualDirectSound() override;

private:
    static HRESULT createInstalled(LPCGUID guid, IDirectSound8** device, IUnknown* outer);

    mutable std::mutex m_mutex;
    std::vector<ManualSoundBuffer*> m_buffers;  // guarded by m_mutex
};
