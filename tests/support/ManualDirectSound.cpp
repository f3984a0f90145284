#include "support/ManualDirectSound.h"

namespace {

std::atomic<ManualDirectSound*> g_installed{nullptr};

}  // namespace

ManualDirectSound::ManualDirectSound() {
    g_installed.store(this);
    setDirectSoundCreate8ForTesting(&ManualDirectSound::createInstalled);
}

ManualDirectSound::~ManualDirectSound() {
    for (ManualSoundBuffer* buffer : m_buffers) {
        buffer->Release();
    }
}

void ManualDirectSound::uninstall() {
    setDirectSoundCreate8ForTesting(nullptr);
    g_installed.store(nullptr);
    Release();
}

HRESULT ManualDirectSound::createInstalled(LPCGUID /*guid*/, IDirectSound8** device,
                                           IUnknown* /*outer*/) {
    ManualDirectSound* installed = g_installed.load();
    if (!installed) {
        return DSERR_NODRIVER;
    }
    installed->AddRef();
    *device = installed;
    return DS_OK;
}

std::vector<ManualSoundBuffer*> ManualDirectSound::buffers() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_buffers;
}

HRESULT ManualDirectSound::QueryInterface(REFIID riid, void** ppvObject) {
    if (riid != IID_IUnknown && riid != IID_IDirectSound8) {
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    *ppvObject = static_cast<IDirectSound8*>(this);
    return S_OK;
}

HRESULT ManualDirectSound::CreateSoundBuffer(LPCDSBUFFERDESC pcDSBufferDesc,
                                             IDirectSoundBuffer** ppDSBuffer,
                                             IUnknown* /*pUnkOuter*/) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (FAILED(createSoundBufferResult.load())) {
        return createSoundBufferResult.load();
    }
    ManualSoundBuffer* buffer = new ManualSoundBuffer();
    const HRESULT result = buffer->initialize(pcDSBufferDesc);
    if (FAILED(result)) {
        buffer->Release();
        return result;
    }
    buffer->AddRef();
    m_buffers.push_back(buffer);
    *ppDSBuffer = buffer;
    return DS_OK;
}

HRESULT ManualDirectSound::SetCooperativeLevel(HWND /*hwnd*/, DWORD /*dwLevel*/) {
    return cooperativeLevelResult.load();
}
