#include "Platform/DSound/SdlDirectSound.h"

#include <gtest/gtest.h>

#include <csignal>

#include "support/ScopedEnv.h"

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
