#include "TavoPlayerCore/AudioRender/DSoundRender.h"

#include <dirent.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Common/Log.h"
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

std::vector<uint8_t> concat(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    std::vector<uint8_t> joined = a;
    joined.insert(joined.end(), b.begin(), b.end());
    return joined;
}

// Threads of this process: the feeding thread shows up here.
size_t threadCount() {
    // ThreadSanitizer's runtime starts a helper thread along with the first
    // thread a process creates; one made here keeps that out of the counts.
    static const bool helperStarted = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)helperStarted;
    size_t count = 0;
    DIR* tasks = opendir("/proc/self/task");
    while (dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] != '.') {
            ++count;
        }
    }
    closedir(tasks);
    return count;
}

// A renderer on the manual device, opened for 8000 Hz mono 16-bit.
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
    }

    // References the renderer holds on the current buffer.
    ULONG bufferReferencesOfRender() {
        buffer->AddRef();
        return buffer->Release() - 1;  // the device keeps one
    }

    uint32_t write(const std::vector<uint8_t>& bytes) {
        return render->Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    }

    ManualDirectSound* device = nullptr;
    std::unique_ptr<DSoundRender> render = std::make_unique<DSoundRender>();
    ManualSoundBuffer* buffer = nullptr;
};

}  // namespace

TEST(CreateAudioRender, FillsOnlyAnEmptySlot) {
    EXPECT_FALSE(createAudioRender(nullptr));
    IAudioRender* slot = nullptr;
    ASSERT_TRUE(createAudioRender(&slot));
    ASSERT_NE(nullptr, slot);
    IAudioRender* const first = slot;
    EXPECT_FALSE(createAudioRender(&slot));
    EXPECT_EQ(first, slot);
    delete slot;
}

TEST_F(DSoundRenderTest, OpenCreatesATwoBlockBufferWhateverTheFormat) {
    const AudioFormat formats[] = {{8000, 1, 16}, {48000, 2, 16}};
    for (const AudioFormat& format : formats) {
        render = std::make_unique<DSoundRender>();
        EXPECT_EQ(4096u, render->GetBlockSize());
        open(format.sampleRate, format.channels);
        EXPECT_EQ(kWindow, device->window());
        EXPECT_EQ(static_cast<DWORD>(DSSCL_NORMAL), device->level());
        const DSBUFFERDESC desc = device->lastDescription();
        EXPECT_EQ(sizeof(DSBUFFERDESC), desc.dwSize);
        EXPECT_EQ(0x18180u, desc.dwFlags);
        EXPECT_EQ(8192u, desc.dwBufferBytes);
        EXPECT_EQ(0u, desc.dwReserved);
        const WAVEFORMATEX wave = device->lastFormat();
        EXPECT_EQ(WAVE_FORMAT_PCM, wave.wFormatTag);
        EXPECT_EQ(format.channels, wave.nChannels);
        EXPECT_EQ(format.sampleRate, wave.nSamplesPerSec);
        EXPECT_EQ(format.sampleRate * format.channels * 2, wave.nAvgBytesPerSec);
        EXPECT_EQ(format.channels * 2, wave.nBlockAlign);
        EXPECT_EQ(16, wave.wBitsPerSample);
        EXPECT_EQ(0, wave.cbSize);
        // Events at both block boundaries; the buffer starts silent.
        const std::vector<DSBPOSITIONNOTIFY> positions = buffer->positions();
        ASSERT_EQ(2u, positions.size());
        EXPECT_EQ(0u, positions[0].dwOffset);
        EXPECT_EQ(4096u, positions[1].dwOffset);
        EXPECT_NE(positions[0].hEventNotify, positions[1].hEventNotify);
        EXPECT_EQ((std::vector<std::string>{"SetNotificationPositions(2)", "SetVolume(-10000)"}),
                  buffer->calls());
        // Base buffer, DirectSound 8 interface and notify interface.
        EXPECT_EQ(3u, bufferReferencesOfRender());
    }
}

TEST_F(DSoundRenderTest, OpeningAgainTakesQuarterSecondBlocksAndReleasesTheOldBuffer) {
    open();
    ManualSoundBuffer* first = buffer;
    EXPECT_EQ(4000u, render->GetBlockSize());  // a quarter second at 8000 Hz mono
    ASSERT_EQ(0u, render->Start());
    open(48000, 2);
    EXPECT_EQ(96000u, device->lastDescription().dwBufferBytes);
    EXPECT_NE(first, buffer);
    first->AddRef();
    EXPECT_EQ(1u, first->Release());  // only the device's own reference is left
    EXPECT_EQ("Stop", first->calls().back());
    EXPECT_EQ(1u, device->foreignReferences());
}

TEST_F(DSoundRenderTest, FailedOpenLeavesARendererWithoutDevice) {
    const AudioFormat format = {8000, 1, 16};
    // No window: DirectSound is not even asked.
    EXPECT_EQ(1u, render->SetFormat(&format));
    EXPECT_TRUE(device->buffers().empty());
    EXPECT_EQ(0u, device->foreignReferences());
    EXPECT_EQ(AUDIO_RENDER_NO_DEVICE, render->Write("ab", 2));

    render->SetWindow(kWindow);
    EXPECT_EQ(1u, render->SetFormat(nullptr));
    device->cooperativeLevelResult = DSERR_INVALIDPARAM;
    EXPECT_EQ(1u, render->SetFormat(&format));
    EXPECT_EQ(0u, device->foreignReferences());
    device->cooperativeLevelResult = DS_OK;
    device->createSoundBufferResult = DSERR_OUTOFMEMORY;
    EXPECT_EQ(1u, render->SetFormat(&format));
    EXPECT_EQ(0u, device->foreignReferences());
    device->createSoundBufferResult = DS_OK;
    const AudioFormat noChannels = {8000, 0, 16};
    EXPECT_EQ(1u, render->SetFormat(&noChannels));  // the device refuses the format
    EXPECT_EQ(0u, device->foreignReferences());

    EXPECT_EQ(AUDIO_RENDER_NO_DEVICE, render->Start());
    EXPECT_EQ(AUDIO_RENDER_NO_DEVICE, render->Write("ab", 2));
    EXPECT_EQ(AUDIO_RENDER_NO_DEVICE, render->Stop());
    EXPECT_EQ(4096u, render->GetBlockSize());
    // A later open with everything in order works.
    open();
    EXPECT_EQ(0u, render->Write("ab", 2));
}

TEST_F(DSoundRenderTest, ReservedOperationsAnswerByDevice) {
    const uint32_t noDevice[] = {render->Reserved1(),  render->Reserved2(),  render->Reserved3(7),
                                 render->Reserved4(7), render->Reserved5(7), render->Reserved6(),
                                 render->Reserved7(),  render->Reserved8(7)};
    EXPECT_EQ((std::vector<uint32_t>{0, 0x1000, 0x1000, 0x1000, 0, 0x1000, 0, 0x7fffffff}),
              std::vector<uint32_t>(std::begin(noDevice), std::end(noDevice)));
    open();
    const uint32_t withDevice[] = {render->Reserved1(),  render->Reserved2(),  render->Reserved3(7),
                                   render->Reserved4(7), render->Reserved5(7), render->Reserved6(),
                                   render->Reserved7(),  render->Reserved8(7)};
    EXPECT_EQ((std::vector<uint32_t>{0, 0, 0, 0, 0, 0, 0, 0x7fffffff}),
              std::vector<uint32_t>(std::begin(withDevice), std::end(withDevice)));
}

TEST_F(DSoundRenderTest, StagingBufferAlwaysKeepsOneByteFree) {
    open();
    EXPECT_EQ(0u, write(bytesOf(4096, 1)));
    EXPECT_EQ(1u, write(bytesOf(4096, 2)));  // 4096 + 4096 is not below 8192
    EXPECT_EQ(4096, render->stagingFill());
    EXPECT_EQ(0u, write(bytesOf(4095, 3)));
    EXPECT_EQ(8191, render->stagingFill());
    EXPECT_EQ(1u, write(bytesOf(1, 4)));
    EXPECT_EQ(0u, render->Write(nullptr, 0));
    EXPECT_EQ(1u, render->Write(nullptr, 5));
    EXPECT_EQ(1u, render->Write("x", 0xFFFFFFFFu));
    EXPECT_EQ(8191, render->stagingFill());
}

TEST_F(DSoundRenderTest, RefusedWriteStillMovesTheUnreadBytesToTheFront) {
    open();
    render->SetVolume(100);
    ASSERT_EQ(0u, render->Start());
    ASSERT_EQ(0u, write(bytesOf(4096, 1)));
    buffer->advance(4096);
    ASSERT_TRUE(buffer->waitForUnlocks(1));
    EXPECT_EQ(4096u, render->stagingReadOffset());
    ASSERT_EQ(0u, write(bytesOf(4000, 2)));  // fits behind the read offset
    EXPECT_EQ(4096u, render->stagingReadOffset());
    EXPECT_EQ(1u, write(bytesOf(4192, 3)));  // 4000 + 4192 does not fit even at the front
    EXPECT_EQ(0u, render->stagingReadOffset());
    EXPECT_EQ(4000, render->stagingFill());
    ASSERT_EQ(0u, write(bytesOf(96, 4)));
    // The moved bytes play as they were written.
    EXPECT_EQ(bytesOf(4096, 1), buffer->advance(4096));
    ASSERT_TRUE(buffer->waitForUnlocks(2));
    EXPECT_EQ(concat(bytesOf(4000, 2), bytesOf(96, 4)), buffer->advance(4096));
}

TEST_F(DSoundRenderTest, EachNotificationMovesOneBlockIntoTheOtherHalf) {
    StdoutCapture output;
    open();
    render->SetVolume(100);
    ASSERT_EQ(0u, render->Start());
    EXPECT_EQ((std::vector<std::string>{"SetNotificationPositions(2)", "SetVolume(-10000)",
                                        "SetVolume(0)", "SetCurrentPosition(0)", "Play(0,0,1)"}),
              buffer->calls());
    ASSERT_EQ(0u, write(bytesOf(4096, 0x11)));
    // The cursor enters the first half: the block goes into the second.
    EXPECT_EQ(bytesOf(4096, 0), buffer->advance(4096));
    ASSERT_TRUE(buffer->waitForUnlocks(1));
    EXPECT_EQ((std::vector<DWORD>{4096}), buffer->lockOffsets());
    ASSERT_EQ(0u, write(bytesOf(4096, 0x22)));
    EXPECT_EQ(bytesOf(4096, 0x11), buffer->advance(4096));
    ASSERT_TRUE(buffer->waitForUnlocks(2));
    EXPECT_EQ((std::vector<DWORD>{4096, 0}), buffer->lockOffsets());
    // Nothing staged: silence, so the old block is not heard again.
    EXPECT_EQ(bytesOf(4096, 0x22), buffer->advance(4096));
    ASSERT_TRUE(buffer->waitForUnlocks(3));
    EXPECT_EQ(bytesOf(4096, 0), buffer->advance(4096));
    ASSERT_TRUE(buffer->waitForUnlocks(4));
    EXPECT_EQ((std::vector<DWORD>{4096, 0, 4096, 0}), buffer->lockOffsets());
    render->Stop();
    EXPECT_EQ(
        "this is       0 of buffer\nthis is    4096 of buffer\n"
        "this is       0 of buffer\nthis is    4096 of buffer\n",
        output.text());
}

TEST_F(DSoundRenderTest, PartialBlockGivesSilenceAndWaitsForTheRest) {
    open();
    render->SetVolume(100);
    ASSERT_EQ(0u, render->Start());
    ASSERT_EQ(0u, write(bytesOf(4095, 0x33)));
    buffer->advance(4096);
    ASSERT_TRUE(buffer->waitForUnlocks(1));
    EXPECT_EQ(4095, render->stagingFill());
    EXPECT_EQ(0u, render->stagingReadOffset());
    ASSERT_EQ(0u, write(bytesOf(1, 0x44)));
    EXPECT_EQ(bytesOf(4096, 0), buffer->advance(4096));
    ASSERT_TRUE(buffer->waitForUnlocks(2));
    EXPECT_EQ(0, render->stagingFill());
    EXPECT_EQ(concat(bytesOf(4095, 0x33), bytesOf(1, 0x44)), buffer->advance(4096));
}

TEST_F(DSoundRenderTest, StopEndsTheFeedingThreadWhileItWaits) {
    open();
    const size_t before = threadCount();
    ASSERT_EQ(0u, render->Start());
    EXPECT_EQ(before + 1, threadCount());
    // No notification comes: the thread sees the cleared flag after its wait.
    EXPECT_EQ(0u, render->Stop());
    EXPECT_EQ(before, threadCount());
    EXPECT_EQ("Stop", buffer->calls().back());
    EXPECT_EQ(0u, buffer->unlocks());
    // It can be started again.
    ASSERT_EQ(0u, render->Start());
    buffer->advance(4096);
    EXPECT_TRUE(buffer->waitForUnlocks(1));
}

TEST_F(DSoundRenderTest, StartingTwiceRunsOneFeedingThread) {
    open();
    const size_t before = threadCount();
    ASSERT_EQ(0u, render->Start());
    ASSERT_EQ(0u, render->Start());
    EXPECT_EQ(before + 1, threadCount());
    buffer->advance(4096);
    ASSERT_TRUE(buffer->waitForUnlocks(1));
    EXPECT_EQ(1u, buffer->lockOffsets().size());
    EXPECT_EQ(0u, render->Stop());
    EXPECT_EQ(before, threadCount());
}

TEST_F(DSoundRenderTest, DestroyingAPlayingRendererJoinsItsThreadAndReleasesAll) {
    open();
    const size_t before = threadCount();
    ASSERT_EQ(0u, render->Start());
    EXPECT_EQ(before + 1, threadCount());
    render.reset();
    EXPECT_EQ(before, threadCount());
    EXPECT_EQ("Stop", buffer->calls().back());
    EXPECT_EQ(0u, bufferReferencesOfRender());
    EXPECT_EQ(0u, device->foreignReferences());
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

TEST_F(DSoundRenderTest, VolumeChangesAreLogged) {
    TempDir dir(true);
    ASSERT_EQ(0, mkdir("D:", 0755));
    RIVO_Common_Player::resetLogForTesting();
    EXPECT_EQ(AUDIO_RENDER_NO_DEVICE, render->SetVolume(50));
    EXPECT_EQ(AUDIO_RENDER_NO_DEVICE, render->GetVolume());
    open();
    render->SetVolume(50);
    render->SetVolume(256);
    RIVO_Common_Player::resetLogForTesting();
    std::ifstream in(RIVO_Common_Player::kLogFilePath);
    std::stringstream log;
    log << in.rdbuf();
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) {
        if (!line.empty()) {  // each entry is followed by an empty line
            lines.push_back(line);
        }
    }
    ASSERT_EQ(3u, lines.size()) << log.str();
    EXPECT_NE(std::string::npos, lines[0].find("DSoundRender::SetVolume")) << lines[0];
    EXPECT_NE(std::string::npos, lines[0].find("Volume = 50 , iValueForDSound =4096"));
    EXPECT_NE(std::string::npos, lines[1].find("Volume = 50 , iValueForDSound =-602"));
    EXPECT_NE(std::string::npos, lines[2].find("Volume = 256 , iValueForDSound =-10000"));
}

// ---- On SDL's audio drivers ------------------------------------------------

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

TEST(DSoundRenderSdl, WithoutAnAudioDeviceEveryOperationSaysSo) {
    ScopedEnv driver("SDL_AUDIODRIVER", "no-such-driver");
    DSoundRender render;
    render.SetWindow(kWindow);
    const AudioFormat format = {8000, 1, 16};
    EXPECT_EQ(1u, render.SetFormat(&format));
    EXPECT_EQ(AUDIO_RENDER_NO_DEVICE, render.Start());
    EXPECT_EQ(AUDIO_RENDER_NO_DEVICE, render.Write("ab", 2));
    EXPECT_EQ(AUDIO_RENDER_NO_DEVICE, render.Stop());
    EXPECT_EQ(AUDIO_RENDER_NO_DEVICE, render.SetVolume(100));
}

TEST(DSoundRenderSdl, DirectSoundToldToFailMeansNoDevice) {
    ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    setDirectSoundFailureForTesting(true);
    DSoundRender render;
    render.SetWindow(kWindow);
    const AudioFormat format = {8000, 1, 16};
    EXPECT_EQ(1u, render.SetFormat(&format));
    setDirectSoundFailureForTesting(false);
    EXPECT_EQ(AUDIO_RENDER_NO_DEVICE, render.Start());
    EXPECT_EQ(AUDIO_RENDER_NO_DEVICE, render.Write("ab", 2));
    EXPECT_EQ(AUDIO_RENDER_NO_DEVICE, render.Stop());
}

TEST(DSoundRenderSdl, PlayingRendererOnTheDummyDriverStopsWhenDestroyed) {
    ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    StdoutCapture output;
    auto render = std::make_unique<DSoundRender>();
    render->SetWindow(kWindow);
    const AudioFormat format = {48000, 2, 16};
    ASSERT_EQ(0u, render->SetFormat(&format));
    render->SetVolume(100);
    ASSERT_EQ(0u, render->Start());
    ASSERT_EQ(0u, render->Start());
    const std::vector<uint8_t> sound = tone(2048);
    ASSERT_EQ(0u, render->Write(sound.data(), static_cast<uint32_t>(sound.size())));
    ASSERT_TRUE(output.waitForCount(kLineEnd, 2));
    render.reset();
}
