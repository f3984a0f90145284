#include "Platform/DSound/SdlSoundBuffer.h"

#include "Common/CScopedLock.h"
#include "Platform/DSound/SdlDirectSound.h"

using RIVO_Common_Player::CScopedLock;

namespace {

// SDL's period: the whole number of sample frames nearest 10 ms, short
// enough for notifications to follow the cursor closely and for little sound
// to wait in the device (the engine's blocks are no shorter), whatever the
// rate: a longer period (40 ms at 11.025 kHz, the shortest whole number of
// milliseconds there) would hold twice that in the device and the queue.
// At 8, 16, 32, 44.1 and 48 kHz it is exactly 10 ms, so that a driver that
// paces itself by sleeping whole milliseconds per period (SDL's disk driver)
// keeps real time, where a power-of-two period (10.67 ms at 48 kHz, slept as
// 10) ran 5 % fast.
Uint16 periodFrames(DWORD sampleRate) {
    const DWORD frames = (sampleRate + 50) / 100;
    return static_cast<Uint16>(frames < 16 ? 16 : frames > 8192 ? 8192 : frames);
}

}  // namespace

SdlSoundBuffer::SdlSoundBuffer(SdlDirectSound* device) : m_device(device), m_sdlDevice(0) {
    m_device->AddRef();
}

SdlSoundBuffer::~SdlSoundBuffer() {
    if (m_sdlDevice) {
        CScopedLock lock(SdlDirectSound::sdlLock());
        SDL_CloseAudioDevice(m_sdlDevice);
    }
    m_device->Release();
}

HRESULT SdlSoundBuffer::openDevice() {
    SDL_AudioSpec wanted;
    SDL_zero(wanted);
    wanted.freq = static_cast<int>(format().nSamplesPerSec);
    wanted.format = AUDIO_S16LSB;
    wanted.channels = static_cast<Uint8>(format().nChannels);
    wanted.samples = periodFrames(format().nSamplesPerSec);
    wanted.callback = &SdlSoundBuffer::pullSound;
    wanted.userdata = this;
    SDL_AudioSpec obtained;
    CScopedLock lock(SdlDirectSound::sdlLock());
    // No changes allowed: SDL converts the buffer's format to the device's.
    m_sdlDevice = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (!m_sdlDevice) {
        return DSERR_NODRIVER;
    }
    setDeviceBuffered(true);
    SDL_PauseAudioDevice(m_sdlDevice, 0);
    return DS_OK;
}

void SDLCALL SdlSoundBuffer::pullSound(void* self, Uint8* stream, int len) {
    static_cast<SdlSoundBuffer*>(self)->render(stream, static_cast<DWORD>(len));
}
