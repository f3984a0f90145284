#include "TavoPlayerCore/AudioRender/DSoundRender.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "support/ManualDirectSound.h"
#include "support/ScopedEnv.h"
#include "support/StdoutCapture.h"
#include "support/TempDir.h"

namespace {

HWND const kWindow = reinterpret_cast<HWND>(0x5a5a);
const char* const kLineEnd = " of buffer\n";

std::vector<uint8_t> bytesOf(size_t count, uint8_t value) {
    return std::vector<uint8_t>(count, value);
}

void expectNoDevice(DSoundRender& render) {
    EXPECT_EQ(AUDIO_RENDER_NO_DEVICE, render.Start());
    EXPECT_EQ(AUDIO_RENDER_NO_DEVICE, render.Write("ab", 2));
    EXPECT_EQ(AUDIO_RENDER_NO_DEVICE, render.Stop());
    EXPECT_EQ(AUDIO_RENDER_NO_DEVICE, render.SetVolume(100));
    EXPECT_EQ(AUDIO_RENDER_NO_DEVICE, render.GetVolume());
}

// A renderer on the manual device; the buffer plays only when the test
// advances it, one 4096-byte half at a time.
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
        played = 0;
    }

    // References the renderer holds on a buffer (the device keeps one).
    ULONG referencesOfRender(ManualSoundBuffer* of) {
        of->AddRef();
        return of->Release() - 1;
    }

    uint32_t write(size_t count, uint8_t value) {
        const std::vector<uint8_t> bytes = bytesOf(count, value);
        return render->Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    }

    // Plays one half of the buffer and waits for the feeding thread to move
    // the next block into it; answers what was heard.
    std::vector<uint8_t> play() {
        std::vector<uint8_t> heard = buffer->advance(4096);
        EXPECT_TRUE(buffer->waitForUnlocks(++played));
        return heard;
    }

    ManualDirectSound* device = nullptr;
    std::unique_ptr<DSoundRender> render = std::make_unique<DSoundRender>();
    ManualSoundBuffer* buffer = nullptr;
    size_t played = 0;
};

}  // namespace

// Each notification moves one staged block (or silence, when less than a
// block is staged) into the half that is not playing; starting twice runs
// one feeding thread, and a stopped renderer starts again.
TEST_F(DSoundRenderTest, EachNotificationMovesOneBlockIntoTheOtherHalf) {
    open();
    render->SetVolume(100);
    ASSERT_EQ(0u, render->Start());
    ASSERT_EQ(0u, render->Start());
    ASSERT_EQ(0u, write(4096, 0x11));
    EXPECT_EQ(bytesOf(4096, 0), play());
    ASSERT_EQ(0u, write(4095, 0x22));
    EXPECT_EQ(bytesOf(4096, 0x11), play());
    ASSERT_EQ(0u, write(1, 0x33));
    EXPECT_EQ(bytesOf(4096, 0), play());  // the partial block was not moved
    std::vector<uint8_t> block = bytesOf(4095, 0x22);
    block.push_back(0x33);
    EXPECT_EQ(block, play());
    EXPECT_EQ(bytesOf(4096, 0), play());  // nothing staged: the old block is not heard again
    EXPECT_EQ(5u, buffer->unlocks());

    // Stop ends the feeding thread while it waits for a notification.
    EXPECT_EQ(0u, render->Stop());
    ASSERT_EQ(0u, render->Start());
    ASSERT_EQ(0u, write(4096, 0x44));
    buffer->advance(4096);
    EXPECT_TRUE(buffer->waitForUnlocks(6));
}

// The staging buffer always keeps one byte free; a refused write still
// moves the unread bytes to the front, so the next one may fit.
TEST_F(DSoundRenderTest, StagingKeepsOneByteFreeAndCompactsOnARefusedWrite) {
    open();
    render->SetVolume(100);
    ASSERT_EQ(0u, render->Start());
    ASSERT_EQ(0u, write(4096, 1));
    EXPECT_EQ(1u, write(4096, 2));  // 4096 + 4096 is not below 8192
    EXPECT_EQ(0u, render->Write(nullptr, 0));
    EXPECT_EQ(1u, render->Write(nullptr, 5));
    EXPECT_EQ(1u, render->Write("x", 0xFFFFFFFFu));
    EXPECT_EQ(bytesOf(4096, 0), play());  // moves the first block; it is read now
    ASSERT_EQ(0u, write(4000, 2));        // fits behind the read offset
    EXPECT_EQ(1u, write(4192, 3));        // 4000 + 4192 does not fit even at the front
    ASSERT_EQ(0u, write(96, 4));          // fits only once the bytes moved to the front
    EXPECT_EQ(bytesOf(4096, 1), play());
    std::vector<uint8_t> block = bytesOf(4000, 2);
    block.insert(block.end(), 96, 4);
    EXPECT_EQ(block, play());
}

// Opening takes quarter-second blocks and, opened again, releases the old
// buffer; a destroyed renderer has ended its feeding thread (a notification
// after it touches nothing) and released everything.
TEST_F(DSoundRenderTest, OpeningAgainAndDestroyingReleaseTheBuffers) {
    open();
    EXPECT_EQ(4000u, render->GetBlockSize());
    ManualSoundBuffer* first = buffer;
    ASSERT_EQ(0u, render->Start());
    open(48000, 2);
    EXPECT_EQ(48000u, render->GetBlockSize());
    EXPECT_NE(first, buffer);
    EXPECT_EQ(0u, referencesOfRender(first));
    EXPECT_EQ(1u, device->foreignReferences());
    ASSERT_EQ(0u, render->Start());
    render.reset();
    buffer->advance(8192);
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

namespace {

constexpr uint32_t kRate = 8000;
constexpr double kToneHz = 1000.0;
constexpr double kAmplitude = 16000.0;

// `samples` of a 1 kHz sine at 8000 Hz, started an eighth of a period late so
// that no sample is zero: silence and tone are told apart by zero samples.
std::vector<uint8_t> tone(size_t samples) {
    std::vector<uint8_t> bytes(samples * 2);
    for (size_t i = 0; i < samples; ++i) {
        const double phase = 2 * M_PI * kToneHz * i / kRate + M_PI / 8;
        const int16_t value = static_cast<int16_t>(std::lrint(kAmplitude * std::sin(phase)));
        std::memcpy(&bytes[2 * i], &value, 2);
    }
    return bytes;
}

// Writes all of `bytes` in pieces as the player does, waiting for the
// feeding thread to move a block whenever the staging buffer is full.
void writeAll(DSoundRender& render, StdoutCapture& output, const std::vector<uint8_t>& bytes) {
    for (size_t at = 0; at < bytes.size(); at += 2048) {
        for (;;) {
            const size_t blocksMoved = output.count(kLineEnd);
            const uint32_t result = render.Write(&bytes[at], 2048);
            if (result == 0) {
                break;
            }
            ASSERT_EQ(1u, result);
            ASSERT_TRUE(output.waitForCount(kLineEnd, blocksMoved + 1));
        }
    }
}

// Lets the feeding thread move what is staged and then `blocks` more.
void drain(StdoutCapture& output, size_t blocks) {
    ASSERT_TRUE(output.waitForCount(kLineEnd, output.count(kLineEnd) + 1 + blocks));
}

struct SoundRun {
    size_t start;
    size_t length;
};

// Runs of non-zero samples.
std::vector<SoundRun> soundRuns(const std::vector<int16_t>& samples) {
    std::vector<SoundRun> runs;
    for (size_t i = 0; i < samples.size(); ++i) {
        if (samples[i] == 0) {
            continue;
        }
        if (runs.empty() || runs.back().start + runs.back().length != i) {
            runs.push_back({i, 0});
        }
        ++runs.back().length;
    }
    return runs;
}

}  // namespace

TEST(DSoundRenderSdl, ToneComesOutAtItsFrequencyAndLevelWithSilenceWhereTheWriterPaused) {
    TempDir dir;
    const std::string captured = dir.file("captured.raw");
    ScopedEnv driver("SDL_AUDIODRIVER", "disk");
    ScopedEnv file("SDL_DISKAUDIOFILE", captured.c_str());
    // The disk driver writes one 32 ms period every 16 ms: twice as fast as
    // real time, which still leaves the feeding thread 128 ms per block.
    ScopedEnv pace("SDL_DISKAUDIODELAY", "16");
    const std::vector<uint8_t> twoBlocks = tone(4096);
    {
        StdoutCapture output;
        DSoundRender render;
        render.SetWindow(kWindow);
        const AudioFormat format = {kRate, 1, 16};
        ASSERT_EQ(0u, render.SetFormat(&format));
        render.SetVolume(50);
        ASSERT_EQ(0u, render.Start());
        writeAll(render, output, twoBlocks);
        drain(output, 3);  // the writer pauses for at least three blocks
        writeAll(render, output, twoBlocks);
        drain(output, 3);  // and the last block has been played
    }                      // closing the SDL device closes its file

    std::ifstream in(captured, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    const std::vector<SoundRun> runs = soundRuns(samples);
    ASSERT_EQ(2u, runs.size());
    EXPECT_GE(runs[1].start - (runs[0].start + runs[0].length), 2048u);  // a block of silence
    for (const SoundRun& run : runs) {
        ASSERT_GE(run.length, 4096u);
        size_t signChanges = 0;
        double energy = 0;
        for (size_t i = run.start; i < run.start + run.length; ++i) {
            energy += double(samples[i]) * samples[i];
            if (i > run.start && (samples[i] < 0) != (samples[i - 1] < 0)) {
                ++signChanges;
            }
        }
        const double seconds = double(run.length) / kRate;
        EXPECT_NEAR(kToneHz, signChanges / 2.0 / seconds, 10.0);
        // Volume 50 is half the amplitude.
        const double rms = std::sqrt(energy / run.length);
        EXPECT_NEAR(kAmplitude / 2 / std::sqrt(2.0), rms, 0.01 * rms);
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
