#include "Platform/DSound/LoopingSoundBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/ManualSoundBuffer.h"
#include "support/SoundBufferDescription.h"

namespace {

std::vector<uint8_t> filled(size_t bytes, uint8_t value) {
    return std::vector<uint8_t>(bytes, value);
}

// An 8192-byte buffer, 8000 Hz mono.
class LoopingSoundBufferTest : public ::testing::Test {
protected:
    void SetUp() override {
        WAVEFORMATEX format = pcmFormat(16, 1, 8000);
        DSBUFFERDESC desc = describeBuffer(&format, 8192);
        buffer = new ManualSoundBuffer();
        ASSERT_EQ(DS_OK, buffer->initialize(&desc));
    }

    void TearDown() override { buffer->Release(); }

    ManualSoundBuffer* buffer = nullptr;
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

// The volume is in hundredths of a decibel: -6.02 dB halves what is heard.
TEST_F(LoopingSoundBufferTest, VolumeScalesWhatIsHeard) {
    LPVOID region = nullptr;
    DWORD bytes = 0;
    ASSERT_EQ(DS_OK, buffer->Lock(0, 8192, &region, &bytes, nullptr, nullptr, 0));
    std::vector<int16_t> samples(bytes / 2, 1000);
    std::memcpy(region, samples.data(), bytes);
    ASSERT_EQ(DS_OK, buffer->Unlock(region, bytes, nullptr, 0));
    ASSERT_EQ(DS_OK, buffer->SetVolume(-602));
    buffer->Play(0, 0, DSBPLAY_LOOPING);
    const std::vector<uint8_t> heard = buffer->advance(8192);
    std::memcpy(samples.data(), heard.data(), heard.size());
    EXPECT_EQ(std::vector<int16_t>(samples.size(), 500), samples);
}
