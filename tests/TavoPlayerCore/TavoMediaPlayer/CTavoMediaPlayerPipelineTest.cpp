// The playing engine end to end: a scripted host feeds the simulated camera
// through the real callbacks, pictures are read back from an offscreen
// window (the picture number is drawn into the pattern), sound goes to SDL's
// dummy driver, and the log tells which pictures were handed to the renderer.

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "Platform/D3D9/Direct3D9ForTesting.h"
#include "Platform/DSound/DirectSound8.h"
#include "TavoPlayerCore/CMediaRefClock.h"
#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayer.h"
#include "simcam/LumaView.h"
#include "simcam/TestPattern.h"
#include "support/DecodedFile.h"
#include "support/Eventually.h"
#include "support/LogDir.h"
#include "support/ManualTimeSource.h"
#include "support/ScriptedHost.h"
#include "support/TempDir.h"
#include "tavoplayer/TavoOffscreenWindow.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;

simcam::CameraSettings camera(simcam::VideoCodec video, simcam::AudioCodec audio) {
    simcam::CameraSettings settings;
    settings.videoCodec = video;
    settings.audioCodec = audio;
    settings.width = kWidth;
    settings.height = kHeight;
    settings.frameRate = 25;
    settings.keyFrameInterval = 25;
    settings.audioSampleRate = 8000;
    return settings;
}

// An offscreen window and a way to read the picture number it shows.
class Screen {
public:
    Screen() : m_window(tavoCreateOffscreenWindow(kWidth, kHeight)) {}
    ~Screen() { tavoDestroyOffscreenWindow(m_window); }
    void* handle() const { return m_window; }

    // The number of the picture on screen, or -1 when none can be read.
    int64_t pictureNumber() const {
        int width = 0;
        int height = 0;
        tavoReadOffscreenWindow(m_window, nullptr, 0, &width, &height);
        std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
        if (pixels.empty() ||
            tavoReadOffscreenWindow(m_window, pixels.data(), width * 4, &width, &height) != 0) {
            return -1;
        }
        return simcam::TestPattern::readNumber(
            simcam::LumaView::fromRgb(pixels.data(), width * 4, width, height, 4, 0, 1, 2));
    }

private:
    void* m_window;
};

// Follows the log as it grows and collects the numbers logged after a prefix
// (e.g. the picture times handed to the renderer, "UpdateByVideoRender = %u"),
// reading only what is new on each call (polling the whole log is slow).
class LogWatch {
public:
    explicit LogWatch(std::string prefix) : m_prefix(std::move(prefix)) {}

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

// Video sample times of the host's script, descriptions left out.
std::vector<uint32_t> pictureTimes(const ScriptedHost& host) {
    std::vector<uint32_t> times;
    for (size_t i = 0; i < host.count(TRACK_VIDEO); ++i) {
        if (!host.isDescription(TRACK_VIDEO, i)) {
            times.push_back(host.timeOf(TRACK_VIDEO, i));
        }
    }
    return times;
}

// A player wired to a scripted host and an offscreen window.
struct Rig {
    explicit Rig(int32_t renderKind = RENDER_KIND_DDRAW) {
        player.setHostContext(host.context());
        player.setParam(PARAM_RENDER_KIND, &renderKind);
        player.setParam(PARAM_WINDOW, screen.handle());
    }
    void play() {
        host.start();
        player.run();
    }
    Screen screen;
    ScriptedHost host;
    CTavoMediaPlayer player;
};

struct PlayCase {
    simcam::VideoCodec video;
    simcam::AudioCodec audio;
    int32_t renderKind;
};

class LivePlay : public testing::TestWithParam<PlayCase> {};

}  // namespace

TEST_P(LivePlay, ShowsEveryPictureOnceAndInOrder) {
    LogDir log;
    Rig rig(GetParam().renderKind);
    const size_t pictures = rig.host.addCamera(camera(GetParam().video, GetParam().audio), 2000);
    rig.play();
    ASSERT_TRUE(
        eventually([&] { return rig.screen.pictureNumber() == static_cast<int64_t>(pictures) - 1; },
                   std::chrono::milliseconds(5)));
    ASSERT_TRUE(eventually([&] { return rig.host.drained(TRACK_AUDIO); }));
    rig.player.stop();
    EXPECT_EQ(pictureTimes(rig.host), LogWatch("UpdateByVideoRender = ").numbers());
    const auto events = rig.host.events();
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(PLAYER_EVENT_FIRST_PICTURE, events[0].first);
    EXPECT_EQ("", events[0].second);
    EXPECT_EQ(GetParam().audio != simcam::AudioCodec::None,
              rig.player.clock()->GetAudioTime() != 0);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, LivePlay,
    testing::Values(
        PlayCase{simcam::VideoCodec::H264, simcam::AudioCodec::AAC, RENDER_KIND_D3D_SHADER},
        PlayCase{simcam::VideoCodec::H265, simcam::AudioCodec::MP3, RENDER_KIND_D3D},
        PlayCase{simcam::VideoCodec::H264, simcam::AudioCodec::G711ALaw, RENDER_KIND_DDRAW},
        PlayCase{simcam::VideoCodec::H265, simcam::AudioCodec::G711MuLaw, RENDER_KIND_D3D_SHADER},
        PlayCase{simcam::VideoCodec::H264, simcam::AudioCodec::None, RENDER_KIND_DDRAW}));

TEST(PlayerPipeline, AStreamWithoutAudioShowsItsFirstPictureAtOnce) {
    LogDir log;
    ManualTimeSource time;  // frozen: nothing may wait for time to pass
    Rig rig;
    rig.host.addCamera(camera(simcam::VideoCodec::H264, simcam::AudioCodec::None), 200);
    rig.play();
    EXPECT_TRUE(eventually([&] { return rig.screen.pictureNumber() == 0; }));
    rig.player.stop();
    EXPECT_EQ(std::vector<uint32_t>{rig.host.timeOf(TRACK_VIDEO, 1)},
              LogWatch("UpdateByVideoRender = ").numbers());
}

TEST(PlayerPipeline, AnAudioOnlyStreamPlaysAndDrivesTheAudioClock) {
    LogDir log;
    Rig rig;
    rig.host.addCamera(camera(simcam::VideoCodec::None, simcam::AudioCodec::AAC), 1000);
    rig.play();
    ASSERT_TRUE(eventually([&] { return rig.host.drained(TRACK_AUDIO); }));
    EXPECT_TRUE(eventually([&] { return rig.player.clock()->GetAudioTime() != 0; }));
    rig.player.stop();
    EXPECT_TRUE(LogWatch("UpdateByVideoRender = ").numbers().empty());
}

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

// A door that a loop's thread waits at, inside a device-creation seam, until
// the test opens it. Gates live as long as the process: a loop may still be
// leaving pass() when its test ends.
class Gate {
public:
    void close() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_entered = false;
        m_open = false;
    }
    void open() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    bool entered() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_entered;
    }
    void pass() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_entered = true;
        m_changed.wait(lock, [this] { return m_open; });
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_entered = false;
    bool m_open = true;
};

Gate g_soundDeviceGate;
Gate g_direct3DGate;

// Holds the audio loop inside the opening of its sound device until the gate
// opens; the device then turns out to be missing, and the loop goes on
// reporting each block's time as it does without a device. Opens the gate
// and puts the seam back on destruction, so declare it after the player.
struct SoundDeviceHeld {
    SoundDeviceHeld() {
        g_soundDeviceGate.close();
        setDirectSoundCreate8ForTesting([](LPCGUID, IDirectSound8** device, IUnknown*) {
            g_soundDeviceGate.pass();
            *device = nullptr;
            return static_cast<HRESULT>(DSERR_NODRIVER);
        });
    }
    ~SoundDeviceHeld() {
        g_soundDeviceGate.open();
        setDirectSoundCreate8ForTesting(nullptr);
    }
    Gate& gate = g_soundDeviceGate;
};

// The same for the video loop setting up a Direct3D renderer, which then
// finds no Direct3D.
struct Direct3DHeld {
    Direct3DHeld() {
        g_direct3DGate.close();
        setDirect3DCreate9ForTesting([](UINT) -> IDirect3D9* {
            g_direct3DGate.pass();
            return nullptr;
        });
    }
    ~Direct3DHeld() {
        g_direct3DGate.open();
        setDirect3DCreate9ForTesting(nullptr);
    }
    Gate& gate = g_direct3DGate;
};

// Lets the loops poll a while: returns once they have slept this much more.
void letTheLoopsPoll(const ManualTimeSource& time, uint64_t ms) {
    const uint64_t slept = time.sleptMs();
    ASSERT_TRUE(eventually([&] { return time.sleptMs() >= slept + ms; }));
}

}  // namespace

TEST(PlayerPipeline, TheFirstPictureWaitsForTheAudioLoopToReportAndReachItsTime) {
    ManualTimeSource time(1000);  // frozen; moved by hand
    Rig rig;
    SoundDeviceHeld sound;
    rig.host.addCamera(camera(simcam::VideoCodec::H264, simcam::AudioCodec::G711ALaw), 2000);
    const uint32_t firstPicture = rig.host.timeOf(TRACK_VIDEO, 1);
    rig.play();

    // The audio loop is still opening its device while the video loop holds
    // its first picture: nothing is shown.
    ASSERT_TRUE(
        eventually([&] { return sound.gate.entered() && rig.host.delivered(TRACK_VIDEO) >= 2; }));
    letTheLoopsPoll(time, 50);
    EXPECT_TRUE(rig.host.events().empty());

    // The first block reports its time less the 500 ms output delay.
    sound.gate.open();
    ASSERT_TRUE(eventually([&] { return rig.player.clock()->GetAudioTime() != 0; }));
    EXPECT_EQ(firstPicture - 500, rig.player.clock()->GetAudioTime());
    letTheLoopsPoll(time, 50);
    EXPECT_TRUE(rig.host.events().empty());

    // Media time runs on; the picture comes when the audio position reaches it.
    uint32_t advanced = 0;
    while (rig.host.events().empty() && advanced < 2000) {
        time.advance(20);
        advanced += 20;
        letTheLoopsPoll(time, 50);
    }
    rig.player.stop();
    ASSERT_FALSE(rig.host.events().empty());
    EXPECT_EQ(PLAYER_EVENT_FIRST_PICTURE, rig.host.events()[0].first);
    EXPECT_GE(advanced, 500u);
    EXPECT_LE(advanced, 600u);
}

TEST(PlayerPipeline, TheFirstPictureWaitsASecondAtMostForAudioThatNeverReports) {
    ManualTimeSource time(1000);  // frozen; moved by hand
    Rig rig;
    SoundDeviceHeld sound;
    rig.host.addCamera(camera(simcam::VideoCodec::H264, simcam::AudioCodec::G711ALaw), 2000);
    rig.play();
    ASSERT_TRUE(
        eventually([&] { return sound.gate.entered() && rig.host.delivered(TRACK_VIDEO) >= 2; }));
    // Only the video loop can sleep now, and only in its wait: it has begun.
    letTheLoopsPoll(time, 10);

    time.advance(999);
    letTheLoopsPoll(time, 50);
    EXPECT_TRUE(rig.host.events().empty());
    time.advance(1);
    EXPECT_TRUE(eventually([&] { return !rig.host.events().empty(); }));
    EXPECT_EQ(0u, rig.player.clock()->GetAudioTime());
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

TEST(PlayerPipeline, PauseInLiveModeKeepsConsumingWithoutShowing) {
    ManualTimeSource time(1000);
    LogDir log;
    Rig rig;
    Stepper stepper(time, rig.host);
    simcam::CameraSettings settings =
        camera(simcam::VideoCodec::H264, simcam::AudioCodec::G711ALaw);
    settings.frameRate = 10;
    rig.host.addCamera(settings, 30000);
    rig.play();
    ASSERT_TRUE(stepper.until([&] { return rig.screen.pictureNumber() >= 10; }));
    rig.player.pause();
    const size_t shownBefore = LogWatch("UpdateByVideoRender = ").numbers().size();
    const size_t videoBefore = rig.host.delivered(TRACK_VIDEO);
    const size_t audioBefore = rig.host.delivered(TRACK_AUDIO);
    ASSERT_TRUE(stepper.until([&] {
        return rig.host.delivered(TRACK_VIDEO) > videoBefore + 10 &&
               rig.host.delivered(TRACK_AUDIO) > audioBefore + 25;
    }));
    // Whatever was in hand when the pause came may still be shown; nothing after it.
    EXPECT_LE(LogWatch("UpdateByVideoRender = ").numbers().size(), shownBefore + 1);
    const int64_t frozen = rig.screen.pictureNumber();
    rig.player.resume();
    ASSERT_TRUE(stepper.until([&] { return rig.screen.pictureNumber() > frozen; }));
    rig.player.stop();
}

TEST(PlayerPipeline, PauseInPlaybackModeHoldsBothLoops) {
    ManualTimeSource time(1000, true);
    Rig rig;
    int32_t playback = PLAY_MODE_PLAYBACK;
    rig.player.setParam(PARAM_PLAY_MODE, &playback);
    rig.host.addCamera(camera(simcam::VideoCodec::H264, simcam::AudioCodec::G711MuLaw), 6000);
    rig.play();
    ASSERT_TRUE(eventually([&] { return rig.screen.pictureNumber() >= 5; }));
    rig.player.pause();
    // Give the loops time to notice, then nothing more may be taken.
    const uint64_t slept = time.sleptMs();
    ASSERT_TRUE(eventually([&] { return time.sleptMs() > slept + 200; }));
    const size_t video = rig.host.delivered(TRACK_VIDEO);
    const size_t audio = rig.host.delivered(TRACK_AUDIO);
    const uint64_t later = time.sleptMs();
    ASSERT_TRUE(eventually([&] { return time.sleptMs() > later + 2000; }));
    EXPECT_EQ(video, rig.host.delivered(TRACK_VIDEO));
    EXPECT_EQ(audio, rig.host.delivered(TRACK_AUDIO));
    rig.player.resume();
    ASSERT_TRUE(eventually([&] { return rig.host.delivered(TRACK_VIDEO) > video; }));
    rig.player.stop();
}

namespace {

// Audio blocks are then dropped at once instead of waiting for a sound card
// that plays in real time, so tests on a manual clock can race ahead.
void withoutAudioDevice() {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
}

// Index of the last key frame at or before time in the host's video script.
uint32_t keyFrameAtOrBefore(const ScriptedHost& host, uint32_t time, uint32_t keyInterval) {
    uint32_t key = 0;
    for (size_t i = 1; i < host.count(TRACK_VIDEO); ++i) {
        const uint32_t t = host.timeOf(TRACK_VIDEO, i);
        if (t <= time && (i - 1) % keyInterval == 0) {
            key = t;
        }
    }
    return key;
}

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
    int32_t on = 1;
    int32_t off = 0;
    rig.player.setParam(PARAM_FRAME_STORE, &on);
    simcam::CameraSettings settings =
        camera(simcam::VideoCodec::H264, simcam::AudioCodec::G711ALaw);
    settings.frameRate = 10;
    settings.keyFrameInterval = 20;
    rig.host.addCamera(settings, 80000);
    rig.play();

    // 70 s of live play, then the network stalls so the stored minute is known.
    ASSERT_TRUE(eventually([&] { return rig.host.delivered(TRACK_VIDEO) > 700; }));
    rig.host.setHoldBack(1000000);
    const size_t delivered = rig.host.delivered(TRACK_VIDEO);
    ASSERT_TRUE(eventually(
        [&] { return rig.screen.pictureNumber() == static_cast<int64_t>(delivered) - 2; }));
    const uint32_t last = rig.host.timeOf(TRACK_VIDEO, delivered - 1);
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
    LogWatch shownWatch("UpdateByVideoRender = ");
    rig.player.setParam(PARAM_STORE_PLAYBACK, &on);
    uint32_t duration = 0;
    EXPECT_EQ(0, rig.player.getParam(PARAM_STORE_DURATION, &duration));
    EXPECT_EQ((last - first) / 1000, duration);
    ASSERT_TRUE(advancing([&] {
        const auto& shown = shownWatch.numbers();
        return !shown.empty() && shown.back() < last;
    }));

    uint32_t second = 20;
    rig.player.setParam(PARAM_STORE_SEEK, &second);
    const uint32_t key = keyFrameAtOrBefore(rig.host, first + 20000, 20);
    ASSERT_TRUE(advancing([&] { return containsJumpTo(shownWatch.numbers(), key, 100); }));

    // Pausing the replay holds the picture while the loop keeps going round
    // (once the picture in hand is out); resuming goes on.
    rig.player.setParam(PARAM_STORE_PAUSE, &on);
    const uint64_t passes = rig.host.calls(TRACK_VIDEO);
    ASSERT_TRUE(advancing([&] { return rig.host.calls(TRACK_VIDEO) > passes + 10; }));
    const size_t shown = shownWatch.numbers().size();
    const uint64_t later = rig.host.calls(TRACK_VIDEO);
    time.advance(2000);
    ASSERT_TRUE(eventually([&] { return rig.host.calls(TRACK_VIDEO) > later + 100; }));
    EXPECT_EQ(shown, shownWatch.numbers().size());
    rig.player.setParam(PARAM_STORE_PAUSE, &off);
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

    // Back to live: the pictures that arrived meanwhile are shown.
    rig.player.setParam(PARAM_STORE_PLAYBACK, &off);
    rig.host.setHoldBack(0);
    time.setAdvanceOnSleep(true);
    ASSERT_TRUE(eventually(
        [&] {
            const auto& times = shownWatch.numbers();
            return !times.empty() && times.back() > last;
        },
        std::chrono::milliseconds(2)));
    rig.player.stop();
}

TEST(PlayerPipeline, FollowsDescriptionChangesMidStream) {
    withoutAudioDevice();
    ManualTimeSource time(1000, true);
    LogDir log;
    TempDir dir;
    Rig rig;
    simcam::CameraSettings big = camera(simcam::VideoCodec::H264, simcam::AudioCodec::AAC);
    big.width = 640;
    big.height = 360;
    simcam::CameraSettings small = camera(simcam::VideoCodec::H265, simcam::AudioCodec::G711MuLaw);
    small.width = 320;
    small.height = 180;
    rig.host.addCamera(big, 1000);
    rig.host.addCamera(small, 1000);
    rig.host.addCamera(camera(simcam::VideoCodec::H264, simcam::AudioCodec::None), 1000);
    ScriptedHost::Item noAudio;
    noAudio.timeMs = rig.host.timeOf(TRACK_VIDEO, rig.host.count(TRACK_VIDEO) - 25);
    noAudio.dueMs = noAudio.timeMs - 10000;
    noAudio.flags = MEDIA_FLAG_DESCRIPTION;
    noAudio.withData = false;
    noAudio.withInfo = true;
    noAudio.info = StreamInfo{STREAM_AUDIO, CODEC_NONE, 0, 0};
    rig.host.addItem(TRACK_AUDIO, noAudio);
    rig.play();

    const uint32_t lastTime = rig.host.timeOf(TRACK_VIDEO, rig.host.count(TRACK_VIDEO) - 1);
    LogWatch shownWatch("UpdateByVideoRender = ");
    ASSERT_TRUE(eventually(
        [&] {
            const auto& shown = shownWatch.numbers();
            return !shown.empty() && shown.back() == lastTime;
        },
        std::chrono::milliseconds(2)));
    // A snapshot after the last change has the last picture's size.
    const std::string path = dir.file("after.jpg");
    EXPECT_EQ(0, rig.player.getParam(PARAM_SNAPSHOT, const_cast<char*>(path.c_str())));
    const DecodedFile snapshot(path);
    const DecodedFile::Stream* picture = snapshot.find(AVMEDIA_TYPE_VIDEO);
    ASSERT_NE(nullptr, picture);
    EXPECT_EQ(kWidth, picture->width);
    EXPECT_EQ(kHeight, picture->height);
    rig.player.stop();

    EXPECT_EQ(pictureTimes(rig.host), LogWatch("UpdateByVideoRender = ").numbers());
}

namespace {

ScriptedHost::Item madeUp(uint32_t timeMs, uint32_t flags, std::vector<uint8_t> data) {
    ScriptedHost::Item item;
    item.timeMs = timeMs;
    item.dueMs = timeMs - 10000;
    item.flags = flags;
    item.data = std::move(data);
    return item;
}

ScriptedHost::Item description(uint32_t timeMs, const StreamInfo* info) {
    ScriptedHost::Item item = madeUp(timeMs, MEDIA_FLAG_DESCRIPTION, {});
    item.withData = false;
    item.withInfo = info != nullptr;
    if (info) {
        item.info = *info;
    }
    return item;
}

}  // namespace

TEST(PlayerPipeline, SurvivesAHostileHost) {
    withoutAudioDevice();
    ManualTimeSource time(1000, true);
    LogDir log;
    Rig rig;
    const StreamInfo unknownVideo{STREAM_VIDEO, 7, kWidth, kHeight};  // falls back to H.264
    const StreamInfo unknownAudio{STREAM_AUDIO, 99, 8000, 0x00100001};
    const StreamInfo zeroRate{STREAM_AUDIO, AUDIO_G711A, 0, 0x00100001};
    rig.host.addItem(TRACK_VIDEO, description(10000, nullptr));
    rig.host.addItem(TRACK_AUDIO, description(10000, &unknownAudio));
    rig.host.addItem(TRACK_AUDIO, description(10000, &zeroRate));
    rig.host.addItem(TRACK_AUDIO, madeUp(10000, 0, {1, 2, 3}));
    rig.host.addItem(TRACK_VIDEO,
                     madeUp(10000, MEDIA_FLAG_KEYFRAME, std::vector<uint8_t>(500, 0xAB)));
    rig.host.addItem(TRACK_VIDEO, description(10000, &unknownVideo));
    std::vector<uint8_t> garbage(3000);
    for (size_t i = 0; i < garbage.size(); ++i) {
        garbage[i] = static_cast<uint8_t>(i * 7919u >> 3);
    }
    rig.host.addItem(TRACK_VIDEO, madeUp(10000, MEDIA_FLAG_KEYFRAME, garbage));
    // Then a proper camera whose times wrap around 2^32 half a second in.
    const size_t wrappedPictures = rig.host.addCameraAt(
        camera(simcam::VideoCodec::H264, simcam::AudioCodec::G711ALaw), 2000, 0xFFFFFFFFu - 500);
    // A description with no data and a sample with no data right after it.
    rig.host.addItem(TRACK_VIDEO, description(0xFFFFFFFFu, &unknownVideo));
    rig.host.addItem(TRACK_VIDEO, madeUp(0xFFFFFFFFu, 0, {}));
    rig.host.setPacing(false);
    rig.play();
    ASSERT_TRUE(
        eventually([&] { return rig.host.drained(TRACK_VIDEO) && rig.host.drained(TRACK_AUDIO); },
                   std::chrono::milliseconds(2)));
    rig.host.setFailing(true);
    const uint64_t calls = rig.host.calls(TRACK_VIDEO);
    ASSERT_TRUE(eventually([&] { return rig.host.calls(TRACK_VIDEO) > calls + 10; }));
    rig.player.stop();

    // Every picture of the wrapping camera was shown; the sample without data
    // after the last description shows nothing (the old decoder's picture is gone).
    const auto shown = LogWatch("UpdateByVideoRender = ").numbers();
    EXPECT_EQ(wrappedPictures, shown.size());
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(rig.host.timeOf(TRACK_VIDEO, rig.host.count(TRACK_VIDEO) - 3), shown.back());
}

TEST(PlayerPipeline, TheAudioLoopGoesOnWhileTheVideoLoopSetsUpItsRenderer) {
    withoutAudioDevice();
    ManualTimeSource time(1000, true);
    Rig rig(RENDER_KIND_D3D_SHADER);
    Direct3DHeld direct3D;
    rig.host.addCamera(camera(simcam::VideoCodec::H264, simcam::AudioCodec::G711ALaw), 20000);
    rig.play();
    ASSERT_TRUE(eventually([&] { return direct3D.gate.entered(); }));
    const size_t before = rig.host.delivered(TRACK_AUDIO);
    EXPECT_TRUE(eventually([&] { return rig.host.delivered(TRACK_AUDIO) > before + 10; }));
}

// run() on a running player first waits for the old loops to end (here the
// audio loop, held while it opens its sound device), then starts new ones;
// run() after stop() starts new loops as well.
TEST(PlayerPipeline, RunningAgainWaitsForTheOldLoopsAndStartsNewOnes) {
    ManualTimeSource time(1000, true);
    Rig rig;
    SoundDeviceHeld sound;
    rig.host.addCamera(camera(simcam::VideoCodec::H264, simcam::AudioCodec::G711ALaw), 2000);
    rig.play();
    ASSERT_TRUE(eventually([&] { return sound.gate.entered(); }));
    std::atomic<bool> returned{false};
    std::thread again([&] {
        rig.player.run();
        returned = true;
    });
    const uint64_t videoCalls = rig.host.calls(TRACK_VIDEO);
    EXPECT_TRUE(eventually([&] { return rig.host.calls(TRACK_VIDEO) > videoCalls + 50; }));
    EXPECT_FALSE(returned.load());
    sound.gate.open();
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

TEST(PlayerCommands, AnswerUnknownIdsAsUnsupportedAndKnownOnesWithZero) {
    CTavoMediaPlayer player;
    int32_t value = 0;
    for (int32_t id = PARAM_WINDOW - 1; id <= PARAM_RENDER_FLOAT + 1; ++id) {
        const bool known =
            id == PARAM_WINDOW || id == PARAM_AUDIO_FORMAT || id == PARAM_VIDEO_SIZE ||
            id == PARAM_PLAY_MODE || id == PARAM_CLOCK_MODE || id == PARAM_RENDER_KIND ||
            id == PARAM_WINDOW_PARAM || id == PARAM_VOLUME || id == PARAM_FRAME_STORE ||
            id == PARAM_STORE_PLAYBACK || id == PARAM_STORE_SEEK || id == PARAM_SPEED ||
            id == PARAM_STORE_PAUSE || id == PARAM_REPAINT || id == PARAM_RECORD ||
            id == PARAM_RECORD_FILE || id == PARAM_RENDER_FLOAT;
        if (id == PARAM_WINDOW || id == PARAM_WINDOW_PARAM || id == PARAM_RECORD_FILE) {
            continue;  // their argument is not an integer
        }
        int32_t args[2] = {1, 1};
        if (id == PARAM_SPEED || id == PARAM_RENDER_FLOAT) {
            float speed = 1.0f;
            std::memcpy(args, &speed, sizeof(speed));
        }
        if (id == PARAM_FRAME_STORE || id == PARAM_STORE_PLAYBACK || id == PARAM_RECORD) {
            args[0] = 0;
        }
        EXPECT_EQ(known ? 0 : PLAYER_E_UNSUPPORTED, player.setParam(id, args)) << std::hex << id;
    }
    EXPECT_EQ(PLAYER_E_UNSUPPORTED, player.getParam(PARAM_WINDOW, &value));
    uint32_t seconds = 77;
    EXPECT_EQ(0, player.getParam(PARAM_STORE_DURATION, &seconds));
    EXPECT_EQ(77u, seconds);  // no store: untouched
    EXPECT_EQ(PLAYER_E_FAIL, player.getParam(PARAM_SNAPSHOT, const_cast<char*>("x.jpg")));
    EXPECT_FALSE(std::filesystem::exists("x.jpg"));
}

// The store, the clock and the renderer are replaced while both loops use
// them (under ThreadSanitizer and AddressSanitizer this must stay clean). The
// window comes late: pictures are decoded meanwhile, and shown once it is
// there. The speed reaches the clock, which a new clock mode replaces.
TEST(PlayerCommands, ReplacingTheStoreClockAndWindowWhileTheLoopsRunIsSafe) {
    withoutAudioDevice();
    ManualTimeSource time(1000, true);
    Screen screens[2];
    ScriptedHost host;
    host.addCamera(camera(simcam::VideoCodec::H264, simcam::AudioCodec::G711ALaw), 20000);
    CTavoMediaPlayer player;
    player.setHostContext(host.context());
    float speed = 1.5f;
    player.setParam(PARAM_SPEED, &speed);
    EXPECT_EQ(1.5f, player.clock()->GetSpeed());
    int32_t on = 1;
    int32_t off = 0;
    int32_t mode = 1;
    host.start();
    player.run();
    ASSERT_TRUE(eventually([&] { return host.delivered(TRACK_VIDEO) >= 5; }));
    for (int round = 0; round < 20; ++round) {
        player.setParam(PARAM_FRAME_STORE, &on);
        player.setParam(PARAM_CLOCK_MODE, &mode);
        player.setParam(PARAM_WINDOW, screens[round % 2].handle());
        player.setParam(PARAM_STORE_PLAYBACK, round % 2 ? &on : &off);
        uint32_t seconds = 0;
        player.getParam(PARAM_STORE_DURATION, &seconds);
        const uint64_t calls = host.calls(TRACK_VIDEO);
        ASSERT_TRUE(eventually([&] { return host.calls(TRACK_VIDEO) > calls + 3; }));
    }
    EXPECT_EQ(1.0f, player.clock()->GetSpeed());
    player.setParam(PARAM_STORE_PLAYBACK, &off);
    player.setParam(PARAM_WINDOW, screens[0].handle());
    EXPECT_TRUE(eventually([&] { return screens[0].pictureNumber() >= 0; }));
}

TEST(PlayerCommands, RecordsAndSnapshotsWhileTheLoopsRun) {
    ManualTimeSource time(1000, true);
    LogDir log;
    TempDir dir;
    Rig rig;
    simcam::CameraSettings settings = camera(simcam::VideoCodec::H264, simcam::AudioCodec::AAC);
    settings.keyFrameInterval = 10;
    rig.host.addCamera(settings, 3000);
    const std::string file = dir.file("clip.mp4");
    const std::string shot = dir.file("shot.jpg");
    int32_t on = 1;
    int32_t off = 0;
    rig.player.setParam(PARAM_RECORD, &on);
    rig.player.setParam(PARAM_RECORD_FILE, const_cast<char*>(file.c_str()));
    rig.play();
    ASSERT_TRUE(eventually(
        [&] { return rig.player.getParam(PARAM_SNAPSHOT, const_cast<char*>(shot.c_str())) == 0; },
        std::chrono::milliseconds(5)));
    ASSERT_TRUE(
        eventually([&] { return rig.host.drained(TRACK_VIDEO) && rig.host.drained(TRACK_AUDIO); },
                   std::chrono::milliseconds(5)));
    rig.player.setParam(PARAM_RECORD, &off);
    rig.player.stop();

    const DecodedFile snapshot(shot);
    ASSERT_NE(nullptr, snapshot.find(AVMEDIA_TYPE_VIDEO));
    EXPECT_EQ(kWidth, snapshot.find(AVMEDIA_TYPE_VIDEO)->width);
    EXPECT_EQ(kHeight, snapshot.find(AVMEDIA_TYPE_VIDEO)->height);
    const DecodedFile recording(file);
    EXPECT_EQ(2u, recording.streams().size());
    EXPECT_NE(nullptr, recording.find(AVMEDIA_TYPE_VIDEO));
    EXPECT_NE(nullptr, recording.find(AVMEDIA_TYPE_AUDIO));
    EXPECT_FALSE(std::filesystem::exists(dir.file("clip_tmp.h264")));
}
