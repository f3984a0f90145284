#include "TavoPlayerCore/AudioRender/DSoundRender.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "support/ManualDirectSound.h"
#include "support/ScopedEnv.h"

namespace {

HWND const kWindow = reinterpret_cast<HWND>(0x5a5a);

using Bytes = std::vector<uint8_t>;

void expectNoDevice(DSoundRender& render) {
    EXPECT_EQ(AUDIO_RENDER_NO_DEVICE, render.Start());
    EXPECT_EQ(AUDIO_RENDER_NO_DEVICE, render.Write("ab", 2));
    EXPECT_EQ(AUDIO_RENDER_NO_DEVICE, render.Stop());
    EXPECT_EQ(AUDIO_RENDER_NO_DEVICE, render.SetVolume(100));
    EXPECT_EQ(AUDIO_RENDER_NO_DEVICE, render.GetVolume());
}

// A renderer on the manual device; the buffer plays only when the test
// advances it, one block at a time.
class DSoundRenderTest : public ::testing::Test {
protected:
    void SetUp() override { device = new ManualDirectSound(); }

    void TearDown() override {
        render.reset();
        device->uninstall();
    }

    void open(uint32_t sampleRate = 8000, uint16_t channels = 1) {
        render->SetWindow(kWindow);
        const AudioFormat format = {sampleRate, channels, 16};
        ASSERT_EQ(0u, render->SetFormat(&format));
        buffer = device->buffers().back();
        block = render->GetBlockSize();
        written = 0;
    }

    // References the renderer holds on a buffer (the device keeps one).
    ULONG referencesOfRender(ManualSoundBuffer* of) {
        of->AddRef();
        return of->Release() - 1;
    }

    uint32_t write(size_t count, uint8_t value) {
        const Bytes bytes(count, value);
        return render->Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    }

    // Plays one block and waits for the feeding thread to write `blocks`
    // blocks behind the queue; answers what was heard.
    Bytes play(size_t blocks = 1) {
        Bytes heard = buffer->advance(block);
        written += blocks;
        EXPECT_TRUE(buffer->waitForUnlocks(written));
        return heard;
    }

    ManualDirectSound* device = nullptr;
    std::unique_ptr<DSoundRender> render = std::make_unique<DSoundRender>();
    ManualSoundBuffer* buffer = nullptr;
    uint32_t block = 0;
    size_t written = 0;
};

}  // namespace

// The buffer begins to play once kLeadBlocks blocks are staged, that sound
// at its start; from then on each notification moves the whole staged blocks
// behind the queue, up to one block short of the whole buffer, and writes
// silence while less than kLeadBlocks is queued (less than a block staged: the
// part waits). Round the buffer, old sound is never heard again. Starting twice
// runs one feeding thread, and a stopped renderer starts again. The queued time
// is what is staged plus what is queued ahead of the cursor.
TEST_F(DSoundRenderTest, EachNotificationTopsTheQueueUp) {
    static_assert(DSoundRender::kLeadBlocks == 2, "the sequence below keeps two blocks ahead");
    open();
    render->SetVolume(100);
    ASSERT_EQ(0u, render->Start());
    ASSERT_EQ(0u, render->Start());
    ASSERT_EQ(0u, write(block / 2, 0x11));
    EXPECT_EQ(DSoundRender::kBlockMs / 2, render->GetQueuedMs());
    ASSERT_EQ(0u, write(block + block / 2, 0x11));
    written = 2;
    EXPECT_TRUE(buffer->waitForUnlocks(written));
    EXPECT_EQ(2 * DSoundRender::kBlockMs, render->GetQueuedMs());
    ASSERT_EQ(0u, write(block - 1, 0x22));
    EXPECT_EQ(Bytes(block, 0x11), play());  // no silence before the first sound
    ASSERT_EQ(0u, write(1, 0x33));
    EXPECT_EQ(Bytes(block, 0x11), play());
    EXPECT_EQ(Bytes(block, 0), play());  // too little was staged: silence, the part waited
    Bytes expected(block - 1, 0x22);
    expected.push_back(0x33);
    EXPECT_EQ(expected, play());
    ASSERT_EQ(0u, write(10 * block, 0x44));
    EXPECT_EQ(Bytes(block, 0), play(DSoundRender::kBlocks - 2));
    EXPECT_EQ((DSoundRender::kBlocks - 1 + 4) * DSoundRender::kBlockMs, render->GetQueuedMs());
    EXPECT_EQ(Bytes(block, 0), play());
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(Bytes(block, 0x44), play(i < 3 || i >= 8 ? 1 : 0)) << i;
    }
    EXPECT_EQ(Bytes(block, 0), play());  // nothing staged: the old blocks are not heard again

    // Stop ends the feeding thread while it waits for a notification.
    EXPECT_EQ(0u, render->Stop());
    ASSERT_EQ(0u, render->Start());
    ASSERT_EQ(0u, write(2 * block, 0x55));
    written += 2;
    EXPECT_TRUE(buffer->waitForUnlocks(written));
    EXPECT_EQ(Bytes(block, 0x55), play());
}

// The staging buffer holds kStagingMs and always keeps one byte free; a
// write that does not fit behind the unread bytes moves them to the front
// first, so it may fit there.
TEST_F(DSoundRenderTest, StagingKeepsOneByteFreeAndCompactsOnAWrite) {
    open();
    render->SetVolume(100);
    ASSERT_EQ(0u, render->Start());
    const uint32_t capacity = block * (DSoundRender::kStagingMs / DSoundRender::kBlockMs);
    ASSERT_EQ(0u, write(2 * block, 1));  // straight into the buffer
    written = 2;
    EXPECT_EQ(1u, write(capacity, 2));
    EXPECT_EQ(0u, render->Write(nullptr, 0));
    EXPECT_EQ(1u, render->Write(nullptr, 5));
    EXPECT_EQ(1u, render->Write("x", 0xFFFFFFFFu));
    ASSERT_EQ(0u, write(capacity - 1, 2));
    // Moves blocks of 2s out of the staging until the queue is full.
    EXPECT_EQ(Bytes(block, 1), play(DSoundRender::kBlocks - 2));
    ASSERT_EQ(0u, write((DSoundRender::kBlocks - 2) * block, 3));  // fits only at the front
    EXPECT_EQ(1u, write(1, 4));
    EXPECT_EQ(Bytes(block, 1), play());
    EXPECT_EQ(Bytes(block, 2), play());
}

// Opening takes blocks of kBlockMs in the format and, opened again, releases
// the old buffer; a destroyed renderer has ended its feeding thread (a notification
// after it touches nothing) and released everything.
TEST_F(DSoundRenderTest, OpeningAgainAndDestroyingReleaseTheBuffers) {
    open();
    EXPECT_EQ(16 * DSoundRender::kBlockMs, render->GetBlockSize());  // 8 kHz mono
    ManualSoundBuffer* first = buffer;
    ASSERT_EQ(0u, render->Start());
    open(48000, 2);
    EXPECT_EQ(192 * DSoundRender::kBlockMs, render->GetBlockSize());  // 48 kHz stereo
    EXPECT_NE(first, buffer);
    EXPECT_EQ(0u, referencesOfRender(first));
    EXPECT_EQ(1u, device->foreignReferences());
    ASSERT_EQ(0u, render->Start());
    render.reset();
    buffer->advance(2 * block);
    EXPECT_EQ(0u, referencesOfRender(buffer));
    EXPECT_EQ(0u, device->foreignReferences());
    EXPECT_EQ(0u, buffer->unlocks());
}

// Every way opening can fail leaves a renderer without a device, holding
// nothing; a later open with everything in order works.
TEST_F(DSoundRenderTest, AFailedOpenLeavesARendererWithoutDevice) {
    const AudioFormat format = {8000, 1, 16};
    const AudioFormat noChannels = {8000, 0, 16};
    EXPECT_EQ(1u, render->SetFormat(&format));  // no window: DirectSound is not even asked
    EXPECT_TRUE(device->buffers().empty());
    render->SetWindow(kWindow);
    EXPECT_EQ(1u, render->SetFormat(nullptr));
    device->cooperativeLevelResult = DSERR_INVALIDPARAM;
    EXPECT_EQ(1u, render->SetFormat(&format));
    device->cooperativeLevelResult = DS_OK;
    device->createSoundBufferResult = DSERR_OUTOFMEMORY;
    EXPECT_EQ(1u, render->SetFormat(&format));
    device->createSoundBufferResult = DS_OK;
    EXPECT_EQ(1u, render->SetFormat(&noChannels));  // the device refuses the format
    EXPECT_EQ(0u, device->foreignReferences());
    expectNoDevice(*render);
    open();
    EXPECT_EQ(0u, write(2, 1));
}

TEST_F(DSoundRenderTest, VolumeMapsToHundredthsOfADecibelAndBack) {
    open();
    const struct {
        uint32_t volume;
        LONG dsound;
    } table[] = {{0, -10000}, {1, -4000}, {10, -2000}, {50, -602},
                 {99, -8},    {100, 0},   {150, 0},    {256, -10000}};
    for (const auto& row : table) {
        EXPECT_EQ(0u, render->SetVolume(row.volume));
        LONG value = 1;
        ASSERT_EQ(DS_OK, buffer->GetVolume(&value));
        EXPECT_EQ(row.dsound, value) << row.volume;
    }
    for (uint32_t volume = 0; volume <= 100; ++volume) {
        render->SetVolume(volume);
        EXPECT_EQ(volume, render->GetVolume());
    }
}

// Without an audio device (no SDL driver, or DirectSound told to fail) the
// renderer opens nothing and every operation says so.
TEST(DSoundRenderSdl, WithoutAnAudioDeviceEveryOperationSaysSo) {
    for (bool missingDriver : {true, false}) {
        ScopedEnv driver("SDL_AUDIODRIVER", missingDriver ? "no-such-driver" : "dummy");
        setDirectSoundFailureForTesting(!missingDriver);
        DSoundRender render;
        render.SetWindow(kWindow);
        const AudioFormat format = {8000, 1, 16};
        EXPECT_EQ(1u, render.SetFormat(&format));
        setDirectSoundFailureForTesting(false);
        expectNoDevice(render);
    }
}
