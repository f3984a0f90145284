#include "AudioDeviceCheck.h"

#include <SDL.h>

#include <cstring>

AudioDeviceCheck::AudioDeviceCheck() : m_available(false) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        m_description =
            std::string("no audio device (") + SDL_GetError() + "): the player plays without sound";
        return;
    }
    const char* driver = SDL_GetCurrentAudioDriver();
    const std::string driverName = driver ? driver : "unknown";
    if (SDL_GetNumAudioDevices(0) < 1) {
        m_description = "no audio device (SDL audio driver " + driverName +
                        " has no output): the player plays without sound";
    } else {
        m_available = true;
        const char* device = SDL_GetAudioDeviceName(0, 0);
        m_description = "sound: " + std::string(device ? device : "default device") +
                        " (SDL audio driver " + driverName + ")";
        if (driverName == "dummy" || driverName == "disk") {
            m_description += "; nothing is heard with this driver";
        }
    }
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}
