#include "Platform/DSound/SdlDirectSound.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "Platform/Win32/Win32Event.h"
#include "support/ScopedEnv.h"
#include "support/SoundBufferDescription.h"
#include "support/TempDir.h"

namespace {

void fill(IDirectSoundBuffer* buffer, DWORD offset, DWORD bytes, int16_t value) {
    LPVOID region = nullptr;
    DWORD regionBytes = 0;
    ASSERT_EQ(DS_OK, buffer->Lock(offset, bytes, &region, &regionBytes, nullptr, nullptr, 0));
    for (DWORD i = 0; i < regionBytes / 2; ++i) {
        std::memcpy(static_cast<uint8_t*>(region) + 2 * i, &value, 2);
    }
    ASSERT_EQ(DS_OK, buffer->Unlock(region, regionBytes, nullptr, 0));
}

}  // namespace

TEST(SdlDirectSound, SoundCardPullsTheLoopingBufferAndMovesTheCursor) {
    TempDir dir;
    const std::string captured = dir.file("captured.raw");
    ScopedEnv driver("SDL_AUDIODRIVER", "disk");
    ScopedEnv file("SDL_DISKAUDIOFILE", captured.c_str());

    IDirectSound8* device = nullptr;
    ASSERT_EQ(DS_OK, DirectSoundCreate8(nullptr, &device, nullptr));
    WAVEFORMATEX format = pcmFormat(16, 1, 8000);
    DSBUFFERDESC desc = describeBuffer(&format, 8192);
    IDirectSoundBuffer* buffer = nullptr;
    ASSERT_EQ(DS_OK, device->CreateSoundBuffer(&desc, &buffer, nullptr));
    // The buffer keeps the device (and SDL) alive after the device's last
    // reference from outside is gone.
    EXPECT_EQ(1u, device->Release());
    IDirectSoundNotify* notify = nullptr;
    ASSERT_EQ(S_OK,
              buffer->QueryInterface(IID_IDirectSoundNotify, reinterpret_cast<void**>(&notify)));
    HANDLE events[2] = {CreateEventW(nullptr, FALSE, FALSE, nullptr),
                        CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    const DSBPOSITIONNOTIFY positions[2] = {{0, events[0]}, {4096, events[1]}};
    ASSERT_EQ(DS_OK, notify->SetNotificationPositions(2, positions));
    fill(buffer, 0, 4096, 1000);
    fill(buffer, 4096, 4096, -2000);
    ASSERT_EQ(DS_OK, buffer->SetVolume(-602));  // half the amplitude

    ASSERT_EQ(DS_OK, buffer->Play(0, 0, DSBPLAY_LOOPING));
    // The cursor enters the first half, the second, and the first again.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, events, FALSE, 10000));
    EXPECT_EQ(WAIT_OBJECT_0 + 1, WaitForMultipleObjects(2, events, FALSE, 10000));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, events, FALSE, 10000));
    buffer->Stop();
    notify->Release();
    EXPECT_EQ(0u, buffer->Release());  // closes the SDL device and its file
    CloseHandle(events[0]);
    CloseHandle(events[1]);

    std::ifstream in(captured, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    size_t start = 0;
    while (start < samples.size() && samples[start] == 0) {
        ++start;
    }
    ASSERT_GE(samples.size(), start + 4096);
    // One whole loop from the start, at the buffer's volume.
    for (size_t i = 0; i < 2048; ++i) {
        ASSERT_EQ(500, samples[start + i]) << i;
        ASSERT_EQ(-1000, samples[start + 2048 + i]) << i;
    }
}

// Starting the sound device leaves the host's handling of SIGTERM (its own
// handler) and SIGINT (the default) as it was.
TEST(SdlDirectSound, LeavesTheHostsSignalHandlersAlone) {
    ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    struct sigaction hostTerm = {};
    hostTerm.sa_handler = [](int) {};
    struct sigaction before[2] = {};
    ASSERT_EQ(0, sigaction(SIGTERM, &hostTerm, &before[0]));
    ASSERT_EQ(0, sigaction(SIGINT, nullptr, &before[1]));
    IDirectSound8* device = nullptr;
    ASSERT_EQ(DS_OK, DirectSoundCreate8(nullptr, &device, nullptr));
    struct sigaction term = {};
    struct sigaction interrupt = {};
    sigaction(SIGTERM, nullptr, &term);
    sigaction(SIGINT, nullptr, &interrupt);
    EXPECT_EQ(hostTerm.sa_handler, term.sa_handler);
    EXPECT_EQ(before[1].sa_handler, interrupt.sa_handler);
    device->Release();
    sigaction(SIGTERM, &before[0], nullptr);
}
