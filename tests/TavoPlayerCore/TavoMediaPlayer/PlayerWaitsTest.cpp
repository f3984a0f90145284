#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "Common/ITimeSource.h"
#include "Common/TimeFunctions.h"
#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayer.h"
#include "support/Eventually.h"
#include "support/ScriptedHost.h"

namespace {

// A time source under which no time passes: a loop's wait ends only when the
// player notifies it. (Or after kLongest, far beyond eventually()'s limit, so
// that a player whose wait is never ended still stops after the failure.)
class StillTimeSource : public RIVO_Common_Player::ITimeSource {
public:
    StillTimeSource() { RIVO_Common_Player::setTimeSourceForTesting(this); }
    ~StillTimeSource() override { RIVO_Common_Player::setTimeSourceForTesting(nullptr); }

    uint32_t timeMs() override { return 1000; }
    uint32_t tickMs() override { return 1000; }
    void sleepMs(uint32_t) override { std::this_thread::sleep_for(std::chrono::microseconds(100)); }
    void waitMs(RIVO_Common_Player::CConditionVariable& condition, RIVO_Common_Player::CLock& lock,
                uint32_t) override REQUIRES(lock) {
        condition.waitUntil(lock, std::chrono::steady_clock::now() + kLongest);
    }

private:
    static constexpr std::chrono::seconds kLongest{120};
};

// What a player without samples is doing, and the command that must end its wait.
enum class Command { Stop, Resume, LiveMode };

struct WaitCase {
    const char* name;
    bool pausedPlayback;  // else live, the host has nothing to give
    Command command;
};

class PlayerWaits : public testing::TestWithParam<WaitCase> {};

struct Rig {
    StillTimeSource time;
    ScriptedHost host;
    CTavoMediaPlayer player;

    Rig() {
        player.setHostContext(host.context());
        host.start();
    }

    bool bothLoopsAskedTheHost() const {
        return host.calls(TRACK_VIDEO) > 0 && host.calls(TRACK_AUDIO) > 0;
    }
};

// The loops of a player whose host has nothing, or whose playback is paused,
// wait without polling; every command that changes that ends their waits at
// once: stop() returns, resume() and live mode get them asking the host.
TEST_P(PlayerWaits, CommandsEndTheLoopsWaits) {
    const WaitCase& c = GetParam();
    Rig rig;
    if (c.pausedPlayback) {
        int32_t mode = PLAY_MODE_PLAYBACK;
        rig.player.setParam(PARAM_PLAY_MODE, &mode);
        rig.player.pause();
    }
    rig.player.run();
    if (!c.pausedPlayback) {
        ASSERT_TRUE(eventually([&] { return rig.bothLoopsAskedTheHost(); }));
    }
    switch (c.command) {
        case Command::Stop: {
            std::future<int32_t> stopped =
                std::async(std::launch::async, [&] { return rig.player.stop(); });
            EXPECT_TRUE(eventually([&] {
                return stopped.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
            }));
            return;
        }
        case Command::Resume:
            rig.player.resume();
            break;
        case Command::LiveMode: {
            int32_t mode = PLAY_MODE_LIVE;
            rig.player.setParam(PARAM_PLAY_MODE, &mode);
            break;
        }
    }
    EXPECT_TRUE(eventually([&] { return rig.bothLoopsAskedTheHost(); }));
}

INSTANTIATE_TEST_SUITE_P(Commands, PlayerWaits,
                         testing::Values(WaitCase{"IdleStop", false, Command::Stop},
                                         WaitCase{"PausedStop", true, Command::Stop},
                                         WaitCase{"PausedResume", true, Command::Resume},
                                         WaitCase{"PausedLiveMode", true, Command::LiveMode}),
                         [](const testing::TestParamInfo<WaitCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
