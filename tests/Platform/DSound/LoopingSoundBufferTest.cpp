#include "Platform/DSound/LoopingSoundBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Platform/Win32/Win32Event.h"
#include "support/ManualSoundBuffer.h"
#include "support/SoundBufferDescription.h"

namespace {

std::vector<uint8_t> filled(size_t bytes, uint8_t value) {
    return std::vector<uint8_t>(bytes, value);
}

// An 8192-byte buffer, 8000 Hz mono, with events at offsets 0 and 4096.
class LoopingSoundBufferTest : public ::testing::Test {
protected:
    void SetUp() override {
        WAVEFORMATEX format = pcmFormat(16, 1, 8000);
        DSBUFFERDESC desc = describeBuffer(&format, 8192);
        buffer = new ManualSoundBuffer();
        ASSERT_EQ(DS_OK, buffer->initialize(&desc));
        for (int i = 0; i < 2; ++i) {
            events[i] = CreateEventW(nullptr, FALSE, FALSE, nullptr);
            positions[i] = {static_cast<DWORD>(i * 4096), events[i]};
        }
        ASSERT_EQ(DS_OK, buffer->SetNotificationPositions(2, positions));
    }

    void TearDown() override {
        buffer->Release();
        CloseHandle(events[0]);
        CloseHandle(events[1]);
    }

    // Which events are signalled now, taking them: bit i for event i.
    int signalled() {
        int bits = 0;
        for (int i = 0; i < 2; ++i) {
            if (WaitForMultipleObjects(1, &events[i], FALSE, 0) == WAIT_OBJECT_0) {
                bits |= 1 << i;
            }
        }
        return bits;
    }

    // Writes within the buffer's end, as every test here does.
    void write(DWORD offset, const std::vector<uint8_t>& bytes) {
        LPVOID region = nullptr;
        DWORD regionBytes = 0;
        ASSERT_EQ(DS_OK, buffer->Lock(offset, static_cast<DWORD>(bytes.size()), &region,
                                      &regionBytes, nullptr, nullptr, 0));
        std::memcpy(region, bytes.data(), regionBytes);
        ASSERT_EQ(DS_OK, buffer->Unlock(region, regionBytes, nullptr, 0));
    }

    ManualSoundBuffer* buffer = nullptr;
    HANDLE events[2] = {};
    DSBPOSITIONNOTIFY positions[2] = {};
};

}  // namespace

// The renderer asks for the stream's own format: one it cannot play must fail
// the buffer's creation rather than play noise.
TEST(LoopingSoundBufferSetup, RefusesFormatsItCannotPlay) {
    for (const WAVEFORMATEX& format :
         {pcmFormat(8, 2, 48000), pcmFormat(16, 6, 48000), pcmFormat(16, 2, 50)}) {
        WAVEFORMATEX spoilt = format;
        DSBUFFERDESC desc = describeBuffer(&spoilt, 12288);  // whole frames of each
        ManualSoundBuffer* buffer = new ManualSoundBuffer();
        EXPECT_EQ(DSERR_BADFORMAT, buffer->initialize(&desc))
            << format.wBitsPerSample << " " << format.nChannels << " " << format.nSamplesPerSec;
        buffer->Release();
    }
}

TEST_F(LoopingSoundBufferTest, StoppedOrFinishedBufferIsSilent) {
    write(0, filled(8192, 7));
    EXPECT_EQ(filled(512, 0), buffer->advance(512));  // never started
    EXPECT_EQ(0, signalled());
    ASSERT_EQ(DS_OK, buffer->SetCurrentPosition(4097));  // rounded down to a sample frame
    ASSERT_EQ(DS_OK, buffer->Play(0, 0, 0));             // once, no looping
    std::vector<uint8_t> heard = buffer->advance(6000);
    EXPECT_EQ(filled(4096, 7), std::vector<uint8_t>(heard.begin(), heard.begin() + 4096));
    EXPECT_EQ(filled(1904, 0), std::vector<uint8_t>(heard.begin() + 4096, heard.end()));
    EXPECT_EQ(2, signalled());
    EXPECT_EQ(filled(512, 0), buffer->advance(512));

    ASSERT_EQ(DS_OK, buffer->Play(0, 0, DSBPLAY_LOOPING));  // from the start again
    EXPECT_EQ(filled(512, 7), buffer->advance(512));
    ASSERT_EQ(DS_OK, buffer->Stop());
    EXPECT_EQ(filled(512, 0), buffer->advance(512));
    ASSERT_EQ(DS_OK, buffer->Play(0, 0, DSBPLAY_LOOPING));  // resumes where it stopped
    buffer->advance(3584);
    EXPECT_EQ(0, signalled() & 2);
    buffer->advance(2);
    EXPECT_EQ(2, signalled() & 2);
}

TEST_F(LoopingSoundBufferTest, LockedRegionTakesEffectAtUnlock) {
    LPVOID first = nullptr;
    LPVOID second = nullptr;
    DWORD firstBytes = 0;
    DWORD secondBytes = 0;
    // A region across the end comes in two parts.
    ASSERT_EQ(DS_OK, buffer->Lock(6144, 4096, &first, &firstBytes, &second, &secondBytes, 0));
    EXPECT_EQ(2048u, firstBytes);
    EXPECT_EQ(2048u, secondBytes);
    ASSERT_NE(nullptr, second);
    std::memset(first, 5, firstBytes);
    std::memset(second, 6, secondBytes);
    buffer->Play(0, 0, DSBPLAY_LOOPING);
    EXPECT_EQ(filled(2, 0), buffer->advance(2));  // not there before Unlock
    // Only the bytes reported as written are taken.
    ASSERT_EQ(DS_OK, buffer->Unlock(first, firstBytes, second, 1024));
    buffer->SetCurrentPosition(0);
    std::vector<uint8_t> heard = buffer->advance(8192);
    EXPECT_EQ(filled(1024, 6), std::vector<uint8_t>(heard.begin(), heard.begin() + 1024));
    EXPECT_EQ(filled(5120, 0), std::vector<uint8_t>(heard.begin() + 1024, heard.begin() + 6144));
    EXPECT_EQ(filled(2048, 5), std::vector<uint8_t>(heard.begin() + 6144, heard.end()));
}
