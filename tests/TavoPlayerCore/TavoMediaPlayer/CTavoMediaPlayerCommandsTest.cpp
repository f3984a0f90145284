// Parameter commands of the player: what each id answers, and that the
// components they replace or reach stay consistent while the loops run.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

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

simcam::CameraSettings smallCamera(simcam::AudioCodec audio = simcam::AudioCodec::None) {
    simcam::CameraSettings settings;
    settings.width = 320;
    settings.height = 240;
    settings.frameRate = 25;
    settings.keyFrameInterval = 10;
    settings.audioCodec = audio;
    settings.audioSampleRate = 8000;
    return settings;
}

// The number of the picture a window shows, or -1 when none can be read.
int64_t pictureNumber(void* window) {
    int width = 0;
    int height = 0;
    tavoReadOffscreenWindow(window, nullptr, 0, &width, &height);
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    if (pixels.empty() ||
        tavoReadOffscreenWindow(window, pixels.data(), width * 4, &width, &height) != 0) {
        return -1;
    }
    return simcam::TestPattern::readNumber(
        simcam::LumaView::fromRgb(pixels.data(), width * 4, width, height, 4, 0, 1, 2));
}

}  // namespace

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
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    ManualTimeSource time(1000, true);
    void* windows[2] = {tavoCreateOffscreenWindow(320, 240), tavoCreateOffscreenWindow(320, 240)};
    ScriptedHost host;
    host.addCamera(smallCamera(simcam::AudioCodec::G711ALaw), 20000);
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
        player.setParam(PARAM_WINDOW, windows[round % 2]);
        player.setParam(PARAM_STORE_PLAYBACK, round % 2 ? &on : &off);
        uint32_t seconds = 0;
        player.getParam(PARAM_STORE_DURATION, &seconds);
        const uint64_t calls = host.calls(TRACK_VIDEO);
        ASSERT_TRUE(eventually([&] { return host.calls(TRACK_VIDEO) > calls + 3; }));
    }
    EXPECT_EQ(1.0f, player.clock()->GetSpeed());
    player.setParam(PARAM_STORE_PLAYBACK, &off);
    player.setParam(PARAM_WINDOW, windows[0]);
    EXPECT_TRUE(eventually([&] { return pictureNumber(windows[0]) >= 0; }));
    player.stop();
    tavoDestroyOffscreenWindow(windows[0]);
    tavoDestroyOffscreenWindow(windows[1]);
}

TEST(PlayerCommands, RecordsAndSnapshotsWhileTheLoopsRun) {
    ManualTimeSource time(1000, true);
    LogDir log;
    TempDir dir;
    void* window = tavoCreateOffscreenWindow(320, 240);
    ScriptedHost host;
    host.addCamera(smallCamera(simcam::AudioCodec::AAC), 3000);
    CTavoMediaPlayer player;
    player.setHostContext(host.context());
    player.setParam(PARAM_WINDOW, window);
    const std::string file = dir.file("clip.mp4");
    int32_t on = 1;
    int32_t off = 0;
    player.setParam(PARAM_RECORD, &on);
    player.setParam(PARAM_RECORD_FILE, const_cast<char*>(file.c_str()));
    host.start();
    player.run();
    const std::string shot = dir.file("shot.jpg");
    ASSERT_TRUE(eventually(
        [&] { return player.getParam(PARAM_SNAPSHOT, const_cast<char*>(shot.c_str())) == 0; },
        std::chrono::milliseconds(5)));
    ASSERT_TRUE(eventually([&] { return host.drained(TRACK_VIDEO) && host.drained(TRACK_AUDIO); },
                           std::chrono::milliseconds(5)));
    player.setParam(PARAM_RECORD, &off);
    player.stop();
    tavoDestroyOffscreenWindow(window);

    const DecodedFile snapshot(shot);
    const DecodedFile::Stream* picture = snapshot.find(AVMEDIA_TYPE_VIDEO);
    ASSERT_NE(nullptr, picture);
    EXPECT_EQ(320, picture->width);
    EXPECT_EQ(240, picture->height);

    const DecodedFile recording(file);
    ASSERT_TRUE(recording.opened());
    int video = 0;
    int audio = 0;
    for (const DecodedFile::Stream& stream : recording.streams()) {
        video += stream.type == AVMEDIA_TYPE_VIDEO;
        audio += stream.type == AVMEDIA_TYPE_AUDIO;
    }
    EXPECT_EQ(1, video);
    EXPECT_EQ(1, audio);
    EXPECT_FALSE(std::filesystem::exists(dir.file("clip_tmp.h264")));
}
