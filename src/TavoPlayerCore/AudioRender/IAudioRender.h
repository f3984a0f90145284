#pragma once

#include <cstdint>

#include "Platform/Win32/Win32Types.h"
#include "tavoplayer/ITavoMediaPlayer.h"

// Result of the audio renderer's operations when it has no sound device.
constexpr uint32_t AUDIO_RENDER_NO_DEVICE = 0x1000;

// The player's audio output. The player's audio loop creates it with
// createAudioRender, gives it the window, the format and the volume, starts
// it and writes blocks of interleaved signed 16-bit PCM in that format; the
// host's thread may change window and volume meanwhile (the player holds its
// audio lock around every call). The player learns the output delay from
// GetQueuedMs (the engine's interface once had no such query and assumed a
// fixed delay, which put sound and picture apart by the difference). Every operation but the
// destructor answers a result code; AUDIO_RENDER_NO_DEVICE means that no sound device is open. The
// reserved operations keep the interface's slots; nothing calls them.
class IAudioRender {
public:
    virtual ~IAudioRender() = default;

    // Opens the sound device for the stored window and format: 0, or 1 on failure.
    virtual uint32_t Open() = 0;
    // Releases the sound device and the buffers; 0.
    virtual uint32_t Close() = 0;
    // Stores the format, then opens; answers Open's result.
    virtual uint32_t SetFormat(const AudioFormat* format) = 0;
    // Stores the window that Open needs; 0.
    virtual uint32_t SetWindow(HWND window) = 0;
    // Starts feeding and playing in a loop; 0.
    virtual uint32_t Start() = 0;
    virtual uint32_t Reserved1() = 0;
    // Stops playing and feeding; 0.
    virtual uint32_t Stop() = 0;
    // Copies a block of PCM for playing: 0 when taken, 1 when it does not fit
    // (nothing is taken; write it again later).
    virtual uint32_t Write(const void* data, uint32_t size) = 0;
    virtual uint32_t Reserved2() = 0;
    virtual uint32_t Reserved3(uint32_t) = 0;
    virtual uint32_t Reserved4(uint32_t) = 0;
    virtual uint32_t Reserved5(uint32_t) = 0;
    virtual uint32_t Reserved6() = 0;
    // Volume from 0 (silent) to 100 (full); only the low 8 bits count and
    // anything above 100 is full volume.
    virtual uint32_t SetVolume(uint32_t volume) = 0;
    // The volume from 0 to 100, read back from the sound device.
    virtual uint32_t GetVolume() = 0;
    virtual uint32_t Reserved7() = 0;
    virtual uint32_t Reserved8(uint32_t) = 0;
    // Milliseconds until a block written now starts to be heard: what waits
    // in the renderer ahead of it and what the sound device still holds.
    // AUDIO_RENDER_NO_DEVICE without a device.
    virtual uint32_t GetQueuedMs() = 0;
};

// Stores a new DSoundRender in an empty slot and answers true; false, with
// nothing changed, when the slot is null or already holds a renderer.
bool createAudioRender(IAudioRender** slot);
