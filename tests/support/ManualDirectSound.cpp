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

ULONG ManualDirectSound::foreignReferences() const {
    return references() - 1;
}

HWND ManualDirectSound::window() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_window;
}

DWORD ManualDirectSound::level() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_level;
}

DSBUFFERDESC ManualDirectSound::lastDescription() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_description;
}

WAVEFORMATEX ManualDirectSound::lastFormat() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_format;
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
    m_description = *pcDSBufferDesc;
    m_format = *pcDSBufferDesc->lpwfxFormat;
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

HRESULT ManualDirectSound::SetCooperativeLevel(HWND hwnd, DWORD dwLevel) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_window = hwnd;
    m_level = dwLevel;
    return cooperativeLevelResult.load();
}
