#pragma once

#include <SDL.h>

#include "Platform/DSound/LoopingSoundBuffer.h"

class SdlDirectSound;

// A sound buffer played by an SDL audio device of its own: SDL's audio thread
// pulls sound from the buffer (LoopingSoundBuffer::render) whenever the sound
// server wants more, which is what moves the play cursor. The SDL device runs
// for the buffer's whole life and hears silence while the buffer is stopped.
class SdlSoundBuffer : public LoopingSoundBuffer {
public:
    // Holds a reference on the device until the buffer is gone.
    explicit SdlSoundBuffer(SdlDirectSound* device);

    // Opens and starts the SDL audio device in the buffer's format; call
    // after initialize. DSERR_NODRIVER when SDL cannot open it.
    HRESULT openDevice();

protected:
    // Closes the SDL device (waiting for its thread) before the memory goes.
    ~SdlSoundBuffer() override;

private:
    static void SDLCALL pullSound(void* self, Uint8* stream, int len);

    SdlDirectSound* m_device;
    SDL_AudioDeviceID m_sdlDevice;
};
