// The playing engine end to end: a scripted host feeds the simulated camera
// through the real callbacks, pictures are read back from an offscreen
// window (the picture number is drawn into the pattern), sound goes to SDL's
// dummy driver, and the log tells which pictures were handed to the renderer.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "Platform/D3D9/Direct3D9ForTesting.h"
#include "Platform/DSound/DirectSound8.h"
#include "TavoPlayerCore/CMediaRefClock.h"
#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayer.h"
#include "support/DecodedFile.h"
#include "support/Eventually.h"
#include "support/LogDir.h"
#include "support/ManualTimeSource.h"
#include "support/OffscreenTestWindow.h"
#include "support/ScriptedHost.h"
#include "support/TempDir.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;

simcam::CameraSettings camera(simcam::VideoCodec video, simcam::AudioCodec audio,
                              int frameRate = 25) {
    simcam::CameraSettings settings;
    settings.videoCodec = video;
    settings.audioCodec = audio;
    settings.width = kWidth;
    settings.height = kHeight;
    settings.frameRate = frameRate;
    settings.keyFrameInterval = 25;
    settings.audioSampleRate = 8000;
    return settings;
}

// Follows the log as it grows and collects the numbers logged after a prefix
// (e.g. the picture times handed to the renderer, "UpdateByVideoRender = %u"),
// reading only what is new on each call (polling the whole log is slow).
class LogWatch {
public:
    explicit LogWatch(std::string prefix = "UpdateByVideoRender = ")
        : m_prefix(std::move(prefix)) {}

    const std::vector<uint32_t>& numbers() {
        std::ifstream file("D:/rivolog_player.log", std::ios::binary);
        file.seekg(static_cast<std::streamoff>(m_offset));
        std::string fresh((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        const size_t complete = fresh.rfind('\n');
        if (complete == std::string::npos) {
            return m_numbers;
        }
        m_offset += complete + 1;
        size_t at = 0;
        while ((at = fresh.find(m_prefix, at)) != std::string::npos && at < complete) {
            at += m_prefix.size();
            m_numbers.push_back(static_cast<uint32_t>(std::stoul(fresh.substr(at, 12))));
        }
        return m_numbers;
    }

private:
    const std::string m_prefix;
    size_t m_offset = 0;
    std::vector<uint32_t> m_numbers;
};

// A player wired to a scripted host and an offscreen window.
struct Rig {
    explicit Rig(int32_t renderKind = RENDER_KIND_DDRAW) {
        player.setHostContext(host.context());
        set(PARAM_RENDER_KIND, renderKind);
        player.setParam(PARAM_WINDOW, screen.handle());
    }
    void set(int32_t param, int32_t value) { player.setParam(param, &value); }
    void play() {
        host.start();
        player.run();
    }
    int64_t shown() const { return screen.pattern().number; }
    OffscreenTestWindow screen{kWidth, kHeight};
    ScriptedHost host;
    CTavoMediaPlayer player;
};

// Audio blocks are then dropped at once instead of waiting for a sound card
// that plays in real time, so tests on a manual clock can race ahead.
void withoutAudioDevice() {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
}

ScriptedHost::Item madeUp(uint32_t timeMs, uint32_t flags, std::vector<uint8_t> data) {
    return {0, timeMs, flags, std::move(data)};
}

ScriptedHost::Item description(uint32_t timeMs, const StreamInfo* info) {
    return {0,     timeMs,          MEDIA_FLAG_DESCRIPTION,     {},
            false, info != nullptr, info ? *info : StreamInfo{}};
}

struct PlayCase {
    simcam::VideoCodec video;
    simcam::AudioCodec audio;
    int32_t renderKind;
};

class LivePlay : public testing::TestWithParam<PlayCase> {};

}  // namespace

TEST_P(LivePlay, ShowsEveryPictureOnceAndInOrderAndTheSoundDrivesTheAudioClock) {
    LogDir log;
    Rig rig(GetParam().renderKind);
    const bool sound = GetParam().audio != simcam::AudioCodec::None;
    const size_t pictures = rig.host.addCamera(camera(GetParam().video, GetParam().audio), 2000);
    rig.play();
    ASSERT_TRUE(eventually([&] { return rig.shown() == static_cast<int64_t>(pictures) - 1; },
                           std::chrono::milliseconds(5)));
    ASSERT_TRUE(eventually([&] {
        return rig.host.drained(TRACK_AUDIO) && sound == (rig.player.clock()->GetAudioTime() != 0);
    }));
    rig.player.stop();
    EXPECT_EQ(rig.host.pictureTimes(), LogWatch().numbers());
    const std::vector<std::pair<int32_t, std::string>> firstPicture{
        {PLAYER_EVENT_FIRST_PICTURE, ""}};
    EXPECT_EQ(pictures ? firstPicture : decltype(firstPicture){}, rig.host.events());
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, LivePlay,
    testing::Values(
        PlayCase{simcam::VideoCodec::H264, simcam::AudioCodec::AAC, RENDER_KIND_D3D_SHADER},
        PlayCase{simcam::VideoCodec::H265, simcam::AudioCodec::MP3, RENDER_KIND_D3D},
        PlayCase{simcam::VideoCodec::H264, simcam::AudioCodec::G711ALaw, RENDER_KIND_DDRAW},
        PlayCase{simcam::VideoCodec::H265, simcam::AudioCodec::G711MuLaw, RENDER_KIND_D3D_SHADER},
        PlayCase{simcam::VideoCodec::H264, simcam::AudioCodec::None, RENDER_KIND_DDRAW},
        PlayCase{simcam::VideoCodec::None, simcam::AudioCodec::AAC, RENDER_KIND_DDRAW}));

// A camera's pictures in another pixel format look on screen like its 4:2:0
// pictures (the monochrome ones without their colour).
class PictureFormats
    : public testing::TestWithParam<std::pair<simcam::VideoCodec, simcam::PixelFormat>> {};

TEST_P(PictureFormats, LookLikeTheir420Pictures) {
    auto show = [](simcam::VideoCodec codec, simcam::PixelFormat format) {
        ManualTimeSource time(1000, true);
        Rig rig;
        simcam::CameraSettings settings = camera(codec, simcam::AudioCodec::None);
        settings.pixelFormat = format;
        const int64_t last = static_cast<int64_t>(rig.host.addCamera(settings, 400)) - 1;
        rig.play();
        EXPECT_TRUE(eventually([&] { return rig.shown() == last; }));
        rig.player.stop();
        int width = 0;
        int height = 0;
        return rig.screen.read(&width, &height);
    };
    const auto [codec, format] = GetParam();
    const std::vector<uint8_t> expected = show(codec, simcam::PixelFormat::YUV420);
    const std::vector<uint8_t> shown = show(codec, format);
    ASSERT_EQ(expected.size(), shown.size());
    uint64_t difference = 0;
    for (size_t i = 0; i < shown.size(); i += 4) {
        for (int c = 0; c < 3; ++c) {
            const int want =
                format != simcam::PixelFormat::Gray
                    ? expected[i + c]
                    : (expected[i] * 299 + expected[i + 1] * 587 + expected[i + 2] * 114) / 1000;
            difference += static_cast<uint64_t>(std::abs(want - shown[i + c]));
        }
    }
    EXPECT_LT(difference / (shown.size() / 4 * 3), 6u);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, PictureFormats,
    testing::Values(std::make_pair(simcam::VideoCodec::H265, simcam::PixelFormat::Gray),
                    std::make_pair(simcam::VideoCodec::H264, simcam::PixelFormat::YUV420TenBit),
                    std::make_pair(simcam::VideoCodec::H264, simcam::PixelFormat::YUV422),
                    std::make_pair(simcam::VideoCodec::H265, simcam::PixelFormat::YUV444)));

namespace {

// Moves a frozen manual clock 5 ms whenever a loop has slept or asked the
// host for a sample since the last look, so media time never runs away from
// the test however the machine schedules the threads.
class Stepper {
public:
    Stepper(ManualTimeSource& time, const ScriptedHost& host) : m_time(time), m_host(host) {}

    template <class Condition>
    bool until(Condition condition) {
        return eventually([&] {
            const uint64_t progress =
                m_host.calls(TRACK_VIDEO) + m_host.calls(TRACK_AUDIO) + m_time.sleptMs();
            if (progress > m_seen) {
                m_seen = progress;
                m_time.advance(5);
            }
            return condition();
        });
    }

private:
    ManualTimeSource& m_time;
    const ScriptedHost& m_host;
    uint64_t m_seen = 0;
};

// Holds a loop's thread inside a device-creation seam (the sound device's
// opening or Direct3D's creation) until the test opens the door; the device
// then turns out to be missing (an audio loop without a device goes on
// reporting each block's time). Opens the door and puts the seam back on
// destruction, so declare it after the player. The door lives as long as
// the process: a loop may still be leaving it when its test ends.
class SeamHeld {
public:
    enum Seam { SoundDevice, Direct3D };

    explicit SeamHeld(Seam seam) : m_seam(seam) {
        std::lock_guard<std::mutex> lock(s_mutex);
        s_entered = false;
        s_open = false;
        if (seam == SoundDevice) {
            setDirectSoundCreate8ForTesting([](LPCGUID, IDirectSound8** device, IUnknown*) {
                pass();
                *device = nullptr;
                return static_cast<HRESULT>(DSERR_NODRIVER);
            });
        } else {
            setDirect3DCreate9ForTesting([](UINT) -> IDirect3D9* {
                pass();
                return nullptr;
            });
        }
    }
    ~SeamHeld() {
        open();
        m_seam == SoundDevice ? setDirectSoundCreate8ForTesting(nullptr)
                              : setDirect3DCreate9ForTesting(nullptr);
    }
    void open() {
        std::lock_guard<std::mutex> lock(s_mutex);
        s_open = true;
        s_changed.notify_all();
    }
    bool entered() const {
        std::lock_guard<std::mutex> lock(s_mutex);
        return s_entered;
    }

private:
    static void pass() {
        std::unique_lock<std::mutex> lock(s_mutex);
        s_entered = true;
        s_changed.wait(lock, [] { return s_open; });
    }

    const Seam m_seam;
    static inline std::mutex s_mutex;
    static inline std::condition_variable s_changed;
    static inline bool s_entered = false;  // guarded by s_mutex
    static inline bool s_open = true;      // guarded by s_mutex
};

// Lets the loops poll a while: returns once they have slept this much more.
void letTheLoopsPoll(const ManualTimeSource& time, uint64_t ms) {
    const uint64_t slept = time.sleptMs();
    ASSERT_TRUE(eventually([&] { return time.sleptMs() >= slept + ms; }));
}

}  // namespace

// The first picture waits for the audio loop to report and then for the
// audio position to reach it, or a second at most for audio that never reports.
class FirstPicture : public testing::TestWithParam<bool> {};

TEST_P(FirstPicture, WaitsForTheAudioLoop) {
    const bool audioReports = GetParam();
    ManualTimeSource time(1000);  // frozen; moved by hand
    Rig rig;
    SeamHeld sound(SeamHeld::SoundDevice);
    rig.host.addCamera(camera(simcam::VideoCodec::H264, simcam::AudioCodec::G711ALaw), 2000);
    const uint32_t firstPicture = rig.host.timeOf(TRACK_VIDEO, 1);
    rig.play();

    // The audio loop is still opening its device while the video loop holds
    // its first picture (only it can sleep now, in its wait): nothing is shown.
    ASSERT_TRUE(
        eventually([&] { return sound.entered() && rig.host.delivered(TRACK_VIDEO) >= 2; }));
    letTheLoopsPoll(time, 50);
    EXPECT_TRUE(rig.host.events().empty());
    if (!audioReports) {
        time.advance(999);
        letTheLoopsPoll(time, 50);
        EXPECT_TRUE(rig.host.events().empty());
        time.advance(1);
        EXPECT_TRUE(eventually([&] { return !rig.host.events().empty(); }));
        EXPECT_EQ(0u, rig.player.clock()->GetAudioTime());
        return;
    }

    // Without a sound device nothing waits ahead of a block: the first block
    // reports its own time, and the picture at that time comes at once.
    sound.open();
    ASSERT_TRUE(eventually([&] { return rig.player.clock()->GetAudioTime() != 0; }));
    EXPECT_EQ(firstPicture, rig.player.clock()->GetAudioTime());
    ASSERT_TRUE(eventually([&] { return !rig.host.events().empty(); }));
    rig.player.stop();
    EXPECT_EQ(PLAYER_EVENT_FIRST_PICTURE, rig.host.events()[0].first);
}

INSTANTIATE_TEST_SUITE_P(AudioReports, FirstPicture, testing::Bool());

// Time stamps jumping ten minutes forward and back, to just below 2^32 and
// over the wrap: while time stands still, each picture is shown at once and
// the clock starts afresh on it.
TEST(PlayerPipeline, TimeStampJumpsRestartTheClockInsteadOfFreezingThePicture) {
    ManualTimeSource time(1000);
    LogDir log;
    Rig rig;
    const std::vector<uint32_t> times{10000, 610000, 10040, 0xFFFFFFF0u, 20000};
    for (const uint32_t t : times) {
        rig.host.addCamera(camera(simcam::VideoCodec::H264, simcam::AudioCodec::None), 40, t);
    }
    rig.play();
    time.advance(1000);
    LogWatch shown;
    ASSERT_TRUE(eventually([&] { return shown.numbers().size() == times.size(); }));
    EXPECT_EQ(times, shown.numbers());
    EXPECT_EQ(times.back(), rig.player.clock()->GetTime(0));
    rig.player.stop();
    EXPECT_EQ(1u, rig.host.events().size());
}

// Pictures that came while the first one was on its way follow it at once,
// each shown once: the clock runs from the newest of them, not from the
// first, so the session does not keep the start-up delay.
TEST(PlayerPipeline, ALiveStartRunsTheClockFromTheNewestPicture) {
    ManualTimeSource time(1000);
    LogDir log;
    Rig rig;
    rig.host.addCamera(camera(simcam::VideoCodec::H264, simcam::AudioCodec::None), 2000);
    rig.host.start();
    time.advance(200);  // the time stands still from here on
    rig.player.run();
    ASSERT_TRUE(eventually([&] { return rig.shown() == 5; }));
    EXPECT_EQ(rig.host.newestAvailable(TRACK_VIDEO), rig.player.clock()->GetTime(0));
    rig.player.stop();
    const std::vector<uint32_t> times = rig.host.pictureTimes();
    EXPECT_EQ(std::vector<uint32_t>(times.begin(), times.begin() + 6), LogWatch().numbers());
}

TEST(PlayerPipeline, LiveCatchUpRunsAt1Point2UntilTheLeadIsBackUnderTheThreshold) {
    ManualTimeSource time(1000);
    Rig rig;
    rig.host.addCamera(camera(simcam::VideoCodec::H264, simcam::AudioCodec::None), 20000);
    rig.host.setMaxDelay(500);  // scaled 900: enter above a lead of 1750 ms, leave below 1000 ms

    Stepper stepper(time, rig.host);
    rig.play();
    ASSERT_TRUE(stepper.until([&] { return rig.player.clock()->HasRefTime(); }));

    // The network stalls for three seconds, then delivers the backlog at once.
    rig.host.setHoldBack(3000);
    time.advance(3000);
    rig.host.setHoldBack(0);
    ASSERT_TRUE(stepper.until([&] { return rig.player.clock()->GetSpeed() == 1.2f; }));
    uint32_t lead = 0;
    ASSERT_TRUE(stepper.until([&] {
        if (rig.player.clock()->GetSpeed() == 1.0f) {
            return true;
        }
        lead = rig.host.newestAvailable(TRACK_VIDEO) - rig.player.clock()->GetTime(0);
        return false;
    }));
    rig.player.stop();
    // The speed drops back once a pass finds the lead under 1000 ms (not at
    // the 600 ms an unscaled delay would give, nor at the 1750 ms entry). The
    // loop looks once per picture and the test samples between passes, so
    // the last lead seen at 1.2 lies within a few 40 ms pictures of it.
    EXPECT_GT(lead, 1000u - 4 * 40u);
    EXPECT_LT(lead, 1000u + 4 * 40u);
}

// A live clock without sound that has fallen behind by less than its
// tolerance (set back here, as pictures more than the tolerance late move
// it) would keep the host's pictures waiting for good. A lag within the
// stream's delay stays; beyond it, after a second the clock moves on to the
// newest picture.
TEST(PlayerPipeline, ALiveClockWithoutSoundGainsBackALagBeyondTheStreamsDelay) {
    ManualTimeSource time(1000);
    Rig rig;
    rig.host.addCamera(camera(simcam::VideoCodec::H264, simcam::AudioCodec::None), 20000);
    rig.host.setMaxDelay(300);
    Stepper stepper(time, rig.host);
    rig.play();
    ASSERT_TRUE(stepper.until([&] { return rig.shown() >= 5; }));
    rig.player.clock()->SetRefTime(rig.player.clock()->GetTime(0) - 150);
    const auto lag = [&] {
        return static_cast<int32_t>(rig.host.newestAvailable(TRACK_VIDEO) -
                                    rig.player.clock()->GetTime(0));
    };
    ASSERT_TRUE(stepper.until([&] { return rig.shown() >= 55; }));
    EXPECT_GT(lag(), 100);
    rig.host.setMaxDelay(0);
    ASSERT_TRUE(stepper.until([&] { return lag() < 80; }));
    rig.player.stop();
}

// Pausing live play keeps taking samples from the host without showing them
// (whatever was in hand when the pause came may still be shown); pausing
// playback holds both loops. Either way play goes on after resuming.
class Pause : public testing::TestWithParam<int32_t> {};

TEST_P(Pause, LiveKeepsConsumingWithoutShowingPlaybackHoldsBothLoops) {
    ManualTimeSource time(1000);
    LogDir log;
    Rig rig;
    Stepper stepper(time, rig.host);
    const bool live = GetParam() == PLAY_MODE_LIVE;
    rig.set(PARAM_PLAY_MODE, GetParam());
    rig.host.addCamera(camera(simcam::VideoCodec::H264, simcam::AudioCodec::G711ALaw, 10), 30000);
    rig.play();
    ASSERT_TRUE(stepper.until([&] { return rig.shown() >= 10; }));
    rig.player.pause();
    LogWatch shown;
    const size_t shownBefore = shown.numbers().size();
    // Give the loops time to notice, then count what they take.
    ASSERT_TRUE(stepper.until([&] { return time.sleptMs() > 200; }));
    const size_t video = rig.host.delivered(TRACK_VIDEO);
    const size_t audio = rig.host.delivered(TRACK_AUDIO);
    const uint64_t slept = time.sleptMs();
    ASSERT_TRUE(stepper.until([&] {
        return live ? rig.host.delivered(TRACK_VIDEO) > video + 10 &&
                          rig.host.delivered(TRACK_AUDIO) > audio + 25
                    : time.sleptMs() > slept + 2000;
    }));
    EXPECT_LE(shown.numbers().size(), shownBefore + 1);
    if (!live) {
        EXPECT_EQ(video, rig.host.delivered(TRACK_VIDEO));
        EXPECT_EQ(audio, rig.host.delivered(TRACK_AUDIO));
    }
    const int64_t frozen = rig.shown();
    rig.player.resume();
    ASSERT_TRUE(stepper.until([&] { return rig.shown() > frozen; }));
    rig.player.stop();
}

INSTANTIATE_TEST_SUITE_P(Modes, Pause, testing::Values(PLAY_MODE_LIVE, PLAY_MODE_PLAYBACK));

namespace {

bool containsJumpTo(const std::vector<uint32_t>& times, uint32_t target, uint32_t step) {
    for (size_t i = 1; i < times.size(); ++i) {
        if (times[i] == target && times[i - 1] + step != target) {
            return true;
        }
    }
    return false;
}

}  // namespace

TEST(PlayerPipeline, ReplaysTheLastMinuteWithSeekPauseAndBackToLive) {
    withoutAudioDevice();
    ManualTimeSource time(1000, true);
    LogDir log;
    Rig rig;
    rig.set(PARAM_FRAME_STORE, 1);
    simcam::CameraSettings settings =
        camera(simcam::VideoCodec::H264, simcam::AudioCodec::G711ALaw, 10);
    settings.keyFrameInterval = 20;
    const size_t pictures = rig.host.addCamera(settings, 71000);
    rig.play();

    // 71 s of live play, then the host has nothing more: the stored minute is known.
    ASSERT_TRUE(eventually([&] {
        return rig.host.drained(TRACK_VIDEO) && rig.shown() == static_cast<int64_t>(pictures) - 1;
    }));
    const uint32_t last = rig.host.timeOf(TRACK_VIDEO, rig.host.count(TRACK_VIDEO) - 1);
    // The store drops its front while the span before an append exceeds 60000 ms.
    const uint32_t first = last - 100 - 60000;

    // From here on time moves only when the test moves it, 10 ms per look.
    time.setAdvanceOnSleep(false);
    auto advancing = [&](auto condition) {
        return eventually([&] {
            time.advance(10);
            return condition();
        });
    };
    LogWatch shownWatch;
    rig.set(PARAM_STORE_PLAYBACK, 1);
    uint32_t duration = 0;
    EXPECT_EQ(0, rig.player.getParam(PARAM_STORE_DURATION, &duration));
    EXPECT_EQ((last - first) / 1000, duration);
    ASSERT_TRUE(advancing([&] {
        const auto& shown = shownWatch.numbers();
        return !shown.empty() && shown.back() < last;
    }));

    // Key frames come every 2000 ms from the first picture on: a seek to
    // second 20 lands on the last one before it.
    const uint32_t base = rig.host.timeOf(TRACK_VIDEO, 1);
    const uint32_t key = base + (first + 20000 - base) / 2000 * 2000;
    rig.set(PARAM_STORE_SEEK, 20);
    ASSERT_TRUE(advancing([&] { return containsJumpTo(shownWatch.numbers(), key, 100); }));

    // Pausing the replay holds the picture while the loop keeps going round
    // (once the picture in hand is out); resuming goes on.
    rig.set(PARAM_STORE_PAUSE, 1);
    const uint64_t passes = rig.host.calls(TRACK_VIDEO);
    ASSERT_TRUE(advancing([&] { return rig.host.calls(TRACK_VIDEO) > passes + 10; }));
    const size_t shown = shownWatch.numbers().size();
    // A description the host sends meanwhile is taken once, however often
    // the loop goes round afterwards with nothing new from the host.
    LogWatch decoders("video codec type = ");
    const size_t decodersBefore = decoders.numbers().size();
    const StreamInfo h264{STREAM_VIDEO, VIDEO_H264, kWidth, kHeight};
    rig.host.addItem(TRACK_VIDEO, description(0, &h264));
    const uint64_t later = rig.host.calls(TRACK_VIDEO);
    time.advance(2000);
    ASSERT_TRUE(eventually([&] {
        return rig.host.drained(TRACK_VIDEO) && rig.host.calls(TRACK_VIDEO) > later + 100;
    }));
    EXPECT_EQ(shown, shownWatch.numbers().size());
    EXPECT_EQ(decodersBefore + 1, decoders.numbers().size());
    rig.set(PARAM_STORE_PAUSE, 0);
    ASSERT_TRUE(advancing([&] { return shownWatch.numbers().size() > shown; }));

    // Audio resumed at the first frame not earlier than the key frame: the
    // 20 ms G.711 frames start on every whole second, so at the key frame itself.
    EXPECT_TRUE(containsJumpTo(LogWatch("audio thread getSample ulTime =").numbers(), key, 20));
    const std::string position = std::to_string((key - first) / 1000);
    bool reported = false;
    for (const auto& event : rig.host.events()) {
        reported |= event.first == PLAYER_EVENT_REPLAY_POSITION && event.second == position;
    }
    EXPECT_TRUE(reported);

    // Back to live: the pictures that arrive now are shown.
    rig.set(PARAM_STORE_PLAYBACK, 0);
    rig.host.addCamera(settings, 2000);
    time.setAdvanceOnSleep(true);
    ASSERT_TRUE(eventually(
        [&] {
            const auto& times = shownWatch.numbers();
            return !times.empty() && times.back() > last;
        },
        std::chrono::milliseconds(2)));
    rig.player.stop();
}

namespace {

// What a script must show: the picture times handed to the renderer and the
// number of the picture left on screen.
struct Expected {
    std::vector<uint32_t> shown;
    int64_t lastNumber;
};

// Size and codec changes mid-stream: the renderer is set up anew for each
// size, the decoders for each codec, and audio goes away.
Expected descriptionChanges(ScriptedHost& host) {
    simcam::CameraSettings big = camera(simcam::VideoCodec::H264, simcam::AudioCodec::AAC);
    big.width = 640;
    big.height = 360;
    simcam::CameraSettings small = camera(simcam::VideoCodec::H265, simcam::AudioCodec::G711MuLaw);
    small.width = 320;
    small.height = 180;
    host.addCamera(big, 1000);
    host.addCamera(small, 1000);
    const size_t last =
        host.addCamera(camera(simcam::VideoCodec::H264, simcam::AudioCodec::None), 1000);
    const StreamInfo noAudio{STREAM_AUDIO, CODEC_NONE, 0, 0};
    host.addItem(TRACK_AUDIO,
                 description(host.timeOf(TRACK_VIDEO, host.count(TRACK_VIDEO) - 25), &noAudio));
    return {host.pictureTimes(), static_cast<int64_t>(last) - 1};
}

// Bad input from the host: descriptions missing or unknown, a zero sample
// rate, garbage samples, samples whose ulsize claims 4 GiB, then a proper camera whose times wrap
// around 2^32 half a second in, then a description with no data and a sample with no data right
// after it (which shows nothing: the old decoder's picture is gone).
Expected hostileHost(ScriptedHost& host) {
    const StreamInfo unknownVideo{STREAM_VIDEO, 7, kWidth, kHeight};  // falls back to H.264
    const StreamInfo unknownAudio{STREAM_AUDIO, 99, 8000, 0x00100001};
    const StreamInfo zeroRate{STREAM_AUDIO, AUDIO_G711A, 0, 0x00100001};
    host.addItem(TRACK_VIDEO, description(10000, nullptr));
    host.addItem(TRACK_AUDIO, description(10000, &unknownAudio));
    host.addItem(TRACK_AUDIO, description(10000, &zeroRate));
    host.addItem(TRACK_AUDIO, madeUp(10000, 0, {1, 2, 3}));
    host.addItem(TRACK_VIDEO, madeUp(10000, MEDIA_FLAG_KEYFRAME, std::vector<uint8_t>(500, 0xAB)));
    host.addItem(TRACK_VIDEO, description(10000, &unknownVideo));
    std::vector<uint8_t> garbage(3000);
    for (size_t i = 0; i < garbage.size(); ++i) {
        garbage[i] = static_cast<uint8_t>(i * 7919u >> 3);
    }
    host.addItem(TRACK_VIDEO, madeUp(10000, MEDIA_FLAG_KEYFRAME, garbage));
    ScriptedHost::Item huge = madeUp(10000, MEDIA_FLAG_KEYFRAME, {0, 0, 0, 1});
    huge.claimedSize = 0xFFFFFF00u;
    host.addItem(TRACK_VIDEO, huge);
    host.addItem(TRACK_AUDIO, huge);
    const size_t from = host.count(TRACK_VIDEO);
    const size_t pictures = host.addCamera(
        camera(simcam::VideoCodec::H264, simcam::AudioCodec::G711ALaw), 2000, 0xFFFFFFFFu - 500);
    const Expected expected{host.pictureTimes(from), static_cast<int64_t>(pictures) - 1};
    host.addItem(TRACK_VIDEO, description(0xFFFFFFFFu, &unknownVideo));
    host.addItem(TRACK_VIDEO, madeUp(0xFFFFFFFFu, 0, {}));
    return expected;
}

class Scripts : public testing::TestWithParam<Expected (*)(ScriptedHost&)> {};

}  // namespace

// Every script ends on a 320x240 picture, which a snapshot then takes, and
// with the host failing every call, which the loops ride out; the window
// command answers all the while. The frame store copies every sample meanwhile.
TEST_P(Scripts, ShowWhatTheyMust) {
    withoutAudioDevice();
    ManualTimeSource time(1000, true);
    LogDir log;
    TempDir dir;
    Rig rig;
    rig.set(PARAM_FRAME_STORE, 1);
    const Expected expected = GetParam()(rig.host);
    rig.play();
    ASSERT_TRUE(
        eventually([&] { return rig.host.drained(TRACK_VIDEO) && rig.host.drained(TRACK_AUDIO); },
                   std::chrono::milliseconds(2)));
    EXPECT_EQ(0, rig.player.setParam(PARAM_WINDOW, rig.screen.handle()));
    LogWatch shown;
    ASSERT_TRUE(eventually([&] { return shown.numbers().size() >= expected.shown.size(); },
                           std::chrono::milliseconds(2)));
    const std::string path = dir.file("after.jpg");
    const int32_t snapshot = rig.player.getParam(PARAM_SNAPSHOT, const_cast<char*>(path.c_str()));
    rig.host.setFailing(true);
    const uint64_t calls = rig.host.calls(TRACK_VIDEO);
    ASSERT_TRUE(eventually([&] { return rig.host.calls(TRACK_VIDEO) > calls + 10; }));
    rig.player.stop();

    EXPECT_EQ(expected.shown, shown.numbers());
    EXPECT_EQ(expected.lastNumber, rig.shown());
    ASSERT_EQ(0, snapshot);
    const DecodedFile file(path);
    ASSERT_NE(nullptr, file.find(AVMEDIA_TYPE_VIDEO));
    EXPECT_EQ(kWidth, file.find(AVMEDIA_TYPE_VIDEO)->width);
    EXPECT_EQ(kHeight, file.find(AVMEDIA_TYPE_VIDEO)->height);
}

INSTANTIATE_TEST_SUITE_P(DescriptionChangesThenHostileHost, Scripts,
                         testing::Values(descriptionChanges, hostileHost));

// While one loop is held in a device-creation seam (the audio loop opening
// its sound device, the video loop creating Direct3D for its renderer) the
// other goes on, and run() on the running player waits for the old loops to
// end before it starts new ones; run() after stop() starts new loops as well.
class SeamHeldLoop : public testing::TestWithParam<SeamHeld::Seam> {};

TEST_P(SeamHeldLoop, TheOtherLoopGoesOnAndRunningAgainWaitsForTheOldLoops) {
    const bool sound = GetParam() == SeamHeld::SoundDevice;
    withoutAudioDevice();
    ManualTimeSource time(1000, true);
    Rig rig(sound ? RENDER_KIND_DDRAW : RENDER_KIND_D3D_SHADER);
    SeamHeld seam(GetParam());
    rig.host.addCamera(camera(simcam::VideoCodec::H264, simcam::AudioCodec::G711ALaw), 20000);
    rig.play();
    ASSERT_TRUE(eventually([&] { return seam.entered(); }));
    std::atomic<bool> returned{false};
    std::thread again([&] {
        rig.player.run();
        returned = true;
    });
    const int32_t other = sound ? TRACK_VIDEO : TRACK_AUDIO;
    const uint64_t calls = rig.host.calls(other);
    EXPECT_TRUE(eventually([&] { return rig.host.calls(other) > calls + 50; }));
    EXPECT_FALSE(returned.load());
    seam.open();
    again.join();
    for (int round = 0; round < 2; ++round) {
        const uint64_t audio = rig.host.calls(TRACK_AUDIO);
        const uint64_t video = rig.host.calls(TRACK_VIDEO);
        EXPECT_TRUE(eventually([&] {
            return rig.host.calls(TRACK_AUDIO) > audio && rig.host.calls(TRACK_VIDEO) > video;
        }));
        rig.player.stop();
        rig.player.run();
    }
}

INSTANTIATE_TEST_SUITE_P(SoundDeviceThenDirect3D, SeamHeldLoop,
                         testing::Values(SeamHeld::SoundDevice, SeamHeld::Direct3D));

namespace {

enum class Command { Stop, Run, Destroy };

}  // namespace

// A host that stops, restarts or destroys the player from inside a callback
// (an event on the video loop, a sample request on the audio loop): run is
// refused; stop ends the loops once the callback has returned, and so does
// destroy, which is refused as the destructor would wait for the calling
// loop. None of them ends the process, and the player stays usable: run()
// and destroy from the host's thread work.
class CommandInCallback : public testing::TestWithParam<std::tuple<ScriptedHost::Call, Command>> {};

TEST_P(CommandInCallback, WorksOrIsRefused) {
    const auto [where, command] = GetParam();
    withoutAudioDevice();
    ManualTimeSource time(1000, true);
    OffscreenTestWindow screen(kWidth, kHeight);
    ScriptedHost host;
    host.addCamera(camera(simcam::VideoCodec::H264, simcam::AudioCodec::G711ALaw), 4000);
    ITavoMediaPlayer* player = nullptr;
    ASSERT_TRUE(createMediaPlayerInstance(host.context(), &player));
    player->setParam(PARAM_WINDOW, screen.handle());
    std::atomic<int32_t> result{1};
    std::atomic<bool> done{false};
    host.setCallHook([&, where = where, command = command](ScriptedHost::Call call) {
        if (call != where || done) {
            return;
        }
        ITavoMediaPlayer* self = player;
        command == Command::Destroy
            ? destroyMediaPlayerInstance(&self)
            : void(result = command == Command::Stop ? player->stop() : player->run());
        done = true;
    });
    host.start();
    player->run();
    ASSERT_TRUE(eventually([&] { return done.load(); }));
    if (command == Command::Run) {
        EXPECT_EQ(PLAYER_E_FAIL, result.load());
    } else {
        EXPECT_EQ(0, player->run());
    }
    const uint64_t calls = host.calls(TRACK_VIDEO) + host.calls(TRACK_AUDIO);
    EXPECT_TRUE(
        eventually([&] { return host.calls(TRACK_VIDEO) + host.calls(TRACK_AUDIO) > calls + 10; }));
    destroyMediaPlayerInstance(&player);
}

INSTANTIATE_TEST_SUITE_P(
    EventThenAudioSample, CommandInCallback,
    testing::Combine(testing::Values(ScriptedHost::Call::Event, ScriptedHost::Call::AudioSample),
                     testing::Values(Command::Stop, Command::Run, Command::Destroy)));

// Without a host context, or with one that has no media source, the loops
// idle; once the host gives a source they pull from it.
TEST(PlayerPipeline, WithoutAMediaSourceTheLoopsIdleUntilTheHostGivesOne) {
    ManualTimeSource time(1000, true);
    ScriptedHost host;
    host.addCamera(camera(simcam::VideoCodec::H264, simcam::AudioCodec::G711ALaw), 1000);
    CTavoMediaPlayer player;
    player.run();
    letTheLoopsPoll(time, 100);
    HostContext noSource{nullptr, nullptr, nullptr, nullptr};
    EXPECT_EQ(0, player.setHostContext(&noSource));
    letTheLoopsPoll(time, 100);
    EXPECT_EQ(0, player.setHostContext(host.context()));
    host.start();
    EXPECT_TRUE(
        eventually([&] { return host.calls(TRACK_AUDIO) > 0 && host.calls(TRACK_VIDEO) > 0; }));
}

// A host whose every callback takes the host's own lock, while a host thread
// issues the commands under that same lock: the engine never calls the host
// while it holds a lock such a command waits for, so both sides go on. The
// commands also replace the store, the clock and the window while both loops
// use them (under ThreadSanitizer and AddressSanitizer this must stay clean). Each
// round waits for both loops to call the host again. Should they deadlock,
// the callbacks give up on the lock once the rounds stop, so the test fails
// instead of hanging. (A picture stream only: the audio loop's sound timing
// is the sound path's own to test.)
TEST(PlayerCommands, CommandsUnderTheHostsLockNeverDeadlockWithItsCallbacks) {
    withoutAudioDevice();
    ManualTimeSource time(1000, true);
    TempDir dir;
    OffscreenTestWindow other(kWidth, kHeight);
    Rig rig;
    rig.set(PARAM_FRAME_STORE, 1);
    rig.host.addCamera(camera(simcam::VideoCodec::H264, simcam::AudioCodec::AAC), 60000);
    std::mutex hostLock;
    std::atomic<bool> giveUp{false};
    rig.host.setCallHook([&](ScriptedHost::Call) {
        std::unique_lock<std::mutex> lock(hostLock, std::defer_lock);
        while (!lock.try_lock() && !giveUp) {
            std::this_thread::yield();
        }
    });
    rig.play();
    constexpr int kRounds = 20;
    std::atomic<int> rounds{0};
    std::thread commands([&] {
        const std::string snapshot = dir.file("now.jpg");
        float one = 1.0f;
        for (int round = 0; round < kRounds && !giveUp; ++round) {
            const uint64_t video = rig.host.calls(TRACK_VIDEO);
            const uint64_t audio = rig.host.calls(TRACK_AUDIO);
            {
                std::lock_guard<std::mutex> lock(hostLock);
                rig.set(PARAM_FRAME_STORE, round % 5 == 0);
                rig.set(PARAM_CLOCK_MODE, 1);
                rig.player.setParam(PARAM_WINDOW, (round % 2 ? rig.screen : other).handle());
                rig.player.setParam(PARAM_WINDOW_PARAM, nullptr);
                rig.set(PARAM_VOLUME, round);
                rig.player.setParam(PARAM_REPAINT, nullptr);
                rig.player.setParam(PARAM_RENDER_FLOAT, &one);
                rig.player.setParam(PARAM_SPEED, &one);
                rig.set(PARAM_STORE_PLAYBACK, round % 4 == 1);
                rig.set(PARAM_STORE_SEEK, 0);
                rig.player.getParam(PARAM_SNAPSHOT, const_cast<char*>(snapshot.c_str()));
                round % 3 == 0 ? rig.player.pause() : rig.player.resume();
            }
            while (!giveUp &&
                   (rig.host.calls(TRACK_VIDEO) <= video || rig.host.calls(TRACK_AUDIO) <= audio)) {
                std::this_thread::yield();
            }
            ++rounds;
        }
    });
    const bool finished = eventually([&] { return rounds == kRounds; });
    giveUp = true;
    commands.join();
    EXPECT_TRUE(finished);
    rig.player.stop();
}

// The recording holds every sample the host sent, though a tile without a
// window decodes nothing for display and the replay plays the store meanwhile;
// stop() finishes the file and the host hears of it.
TEST(PlayerCommands, RecordsWhatTheHostSendsWithoutAWindowAndDuringReplay) {
    ManualTimeSource time(1000, true);
    TempDir dir;
    ScriptedHost host;
    const size_t pictures =
        host.addCamera(camera(simcam::VideoCodec::H264, simcam::AudioCodec::AAC), 3000);
    CTavoMediaPlayer player;
    player.setHostContext(host.context());
    auto set = [&](int32_t param, int32_t value) { return player.setParam(param, &value); };
    std::string file = dir.file("clip.mp4");
    EXPECT_EQ(PLAYER_E_FAIL, player.setParam(PARAM_RECORD_FILE, &file[0]));  // not recording
    set(PARAM_FRAME_STORE, 1);
    set(PARAM_RECORD, 1);
    EXPECT_EQ(0, player.setParam(PARAM_RECORD_FILE, &file[0]));
    host.start();
    player.run();
    ASSERT_TRUE(eventually([&] { return host.delivered(TRACK_VIDEO) > pictures / 2; }));
    set(PARAM_STORE_PLAYBACK, 1);
    ASSERT_TRUE(eventually([&] { return host.drained(TRACK_VIDEO) && host.drained(TRACK_AUDIO); },
                           std::chrono::milliseconds(5)));
    player.stop();
    std::vector<std::string> recordingEvents;
    for (const auto& event : host.events()) {
        if (event.first == PLAYER_EVENT_RECORDING) {
            recordingEvents.push_back(event.second);
        }
    }
    EXPECT_EQ((std::vector<std::string>{"started " + file, "stopped " + file}), recordingEvents);
    const DecodedFile recording(file);
    ASSERT_NE(nullptr, recording.find(AVMEDIA_TYPE_VIDEO));
    ASSERT_NE(nullptr, recording.find(AVMEDIA_TYPE_AUDIO));
    const std::vector<int64_t>& times = recording.find(AVMEDIA_TYPE_VIDEO)->timesMs;
    ASSERT_EQ(pictures, times.size());
    for (size_t i = 0; i < times.size(); ++i) {
        EXPECT_EQ(static_cast<int64_t>(i) * 40, times[i]);
    }
    EXPECT_EQ(host.count(TRACK_AUDIO) - 1, recording.find(AVMEDIA_TYPE_AUDIO)->timesMs.size());
}
