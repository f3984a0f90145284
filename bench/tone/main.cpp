// Plays a 1 kHz tone through the engine's audio output on the default sound
// device, written the way the player writes its sound, so that a person at a
// desktop can hear that the path works. SDL picks the sound server; the
// SDL_AUDIODRIVER environment variable selects another driver.
//
// Usage: tavo_tone [seconds (default 3)] [volume 0-100 (default 50)]

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Common/TimeFunctions.h"
#include "TavoPlayerCore/AudioRender/IAudioRender.h"

namespace {

constexpr uint32_t kSampleRate = 8000;
constexpr double kToneHz = 1000.0;
// 0.16 s of sound per write, as the player's audio loop hands over.
constexpr uint32_t kPieceSamples = kSampleRate * 16 / 100;

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 3;
    const int volume = argc > 2 ? std::atoi(argv[2]) : 50;
    if (seconds <= 0 || volume < 0 || volume > 100) {
        std::fprintf(stderr, "usage: %s [seconds > 0] [volume 0-100]\n", argv[0]);
        return 2;
    }

    IAudioRender* render = nullptr;
    createAudioRender(&render);
    // Sound on Linux is not tied to a window, but the renderer wants one.
    render->SetWindow(reinterpret_cast<HWND>(1));
    const AudioFormat format = {kSampleRate, 1, 16};
    if (render->SetFormat(&format) != 0) {
        std::fprintf(stderr, "no audio device\n");
        delete render;
        return 1;
    }
    render->SetVolume(static_cast<uint32_t>(volume));
    render->Start();

    std::vector<int16_t> piece(kPieceSamples);
    const uint32_t totalSamples = kSampleRate * static_cast<uint32_t>(seconds);
    for (uint32_t written = 0; written < totalSamples; written += kPieceSamples) {
        for (uint32_t i = 0; i < kPieceSamples; ++i) {
            const double phase = 2 * M_PI * kToneHz * (written + i) / kSampleRate;
            piece[i] = static_cast<int16_t>(std::lrint(16000 * std::sin(phase)));
        }
        while (render->Write(piece.data(), kPieceSamples * 2) == 1) {
            RIVO_Common_Player::sleepMs(2);
        }
    }
    // The staging buffer and the sound buffer hold two blocks each.
    RIVO_Common_Player::sleepMs(1100);
    render->Stop();
    delete render;
    return 0;
}
