#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "Common/rivo_CMutex.h"
#include "support/Eventually.h"
#include "support/LogDir.h"
#include "support/ManualTimeSource.h"
#include "support/ScopedEnv.h"
#include "tavoplayer/ITavoMediaPlayer.h"

using RIVO_Common_Player::rivo_CMutex;

namespace {

uint32_t currentThread() {
    return rivo_CMutex::currentThreadId();
}

// The manual time source, also counting the sleeps of each thread, so a test
// can tell that a loop has gone round.
class CountingTimeSource : public ManualTimeSource {
public:
    void sleepMs(uint32_t ms) override {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            ++m_sleeps[currentThread()];
            if (ms == 2) {
                ++m_idleSleeps[currentThread()];
            }
        }
        ManualTimeSource::sleepMs(ms);
    }

    uint64_t sleepsOf(uint32_t thread) {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_sleeps[thread];
    }

    // Threads other than the caller that slept 2 ms at least n times.
    size_t threadsIdling(uint64_t n) {
        std::lock_guard<std::mutex> guard(m_mutex);
        size_t count = 0;
        for (const auto& [thread, sleeps] : m_idleSleeps) {
            count += thread != currentThread() && sleeps >= n ? 1 : 0;
        }
        return count;
    }

private:
    std::mutex m_mutex;
    std::map<uint32_t, uint64_t> m_sleeps;
    std::map<uint32_t, uint64_t> m_idleSleeps;
};

// A host with no samples yet: it counts the calls of each track and the
// threads they come from, and can hold the audio loop inside getSample.
class TestHost {
public:
    TestHost() : context{nullptr, nullptr, &m_funcs, this} {}

    HostContext context;

    uint64_t calls(int32_t track) const { return m_calls[track].load(); }
    uint32_t lastThread(int32_t track) const { return m_lastThread[track].load(); }
    int inFlight() const { return m_inFlight.load(); }
    bool sawForeignCalls() const { return m_foreign.load(); }

    std::set<uint32_t> threadsOf(int32_t track) {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_threads[track];
    }

    void holdAudio() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_hold = true;
    }
    bool audioHeld() {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_held;
    }
    void releaseAudio() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_hold = false;
        m_released.notify_all();
    }

private:
    static int32_t getSample(void* ctx, int32_t track, MediaSample* out) {
        return static_cast<TestHost*>(ctx)->onGetSample(track, out);
    }
    static int32_t getMaxDelay(void*, uint32_t* outMs) {
        *outMs = 0;
        return 0;
    }
    static int32_t getMaxTs(void*, int32_t, uint32_t* outMs) {
        *outMs = 0;
        return 0;
    }

    int32_t onGetSample(int32_t track, MediaSample* out) {
        ++m_inFlight;
        if ((track != TRACK_AUDIO && track != TRACK_VIDEO) || !out) {
            m_foreign = true;
            --m_inFlight;
            return 1;
        }
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_threads[track].insert(currentThread());
            if (track == TRACK_AUDIO && m_hold) {
                m_held = true;
                m_released.wait(lock, [this] { return !m_hold; });
                m_held = false;
            }
        }
        m_lastThread[track] = currentThread();
        ++m_calls[track];
        --m_inFlight;
        return 1;  // nothing available now
    }

    MediaSourceFuncs m_funcs{getSample, nullptr, getMaxDelay, getMaxTs};
    std::atomic<uint64_t> m_calls[3] = {};
    std::atomic<uint32_t> m_lastThread[3] = {};
    std::atomic<int> m_inFlight{0};
    std::atomic<bool> m_foreign{false};
    std::mutex m_mutex;
    std::set<uint32_t> m_threads[3];  // guarded by m_mutex
    bool m_hold = false;              // guarded by m_mutex
    bool m_held = false;              // guarded by m_mutex
    std::condition_variable m_released;
};

class CTavoMediaPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(createMediaPlayerInstance(&host.context, &player));
        ASSERT_NE(nullptr, player);
    }
    void TearDown() override {
        host.releaseAudio();
        destroyMediaPlayerInstance(&player);
    }

    bool bothTracksPulledMoreThan(uint64_t audio, uint64_t video) {
        return eventually(
            [&] { return host.calls(TRACK_AUDIO) > audio && host.calls(TRACK_VIDEO) > video; });
    }

    // Declared first, destroyed last: the loops sleep through it until they end.
    CountingTimeSource time;
    TestHost host;
    ITavoMediaPlayer* player = nullptr;
};

TEST_F(CTavoMediaPlayerTest, RunningLoopsAskTheHostForSamplesOnBothTracks) {
    EXPECT_EQ(0, player->run());
    ASSERT_TRUE(bothTracksPulledMoreThan(3, 3));
    EXPECT_EQ(0, player->stop());
    EXPECT_EQ(0, host.inFlight());
    EXPECT_FALSE(host.sawForeignCalls());

    // One thread per loop, neither of them the host's.
    const std::set<uint32_t> audio = host.threadsOf(TRACK_AUDIO);
    const std::set<uint32_t> video = host.threadsOf(TRACK_VIDEO);
    ASSERT_EQ(1u, audio.size());
    ASSERT_EQ(1u, video.size());
    EXPECT_NE(*audio.begin(), *video.begin());
    EXPECT_EQ(0u, audio.count(currentThread()));
    EXPECT_EQ(0u, video.count(currentThread()));

    // Running again after a stop starts new loops.
    const uint64_t audioCalls = host.calls(TRACK_AUDIO);
    const uint64_t videoCalls = host.calls(TRACK_VIDEO);
    player->run();
    EXPECT_TRUE(bothTracksPulledMoreThan(audioCalls, videoCalls));
}

TEST_F(CTavoMediaPlayerTest, RunningAgainWaitsForTheOldLoopsAndStartsNewOnes) {
    player->run();
    host.holdAudio();
    ASSERT_TRUE(eventually([&] { return host.audioHeld() && host.calls(TRACK_VIDEO) > 0; }));
    const uint32_t oldAudio = *host.threadsOf(TRACK_AUDIO).begin();
    const uint32_t oldVideo = host.lastThread(TRACK_VIDEO);

    std::atomic<bool> runReturned{false};
    std::thread host2([&] {
        player->run();
        runReturned = true;
    });
    // While the old audio loop is held in getSample, the second run() cannot
    // get past it; the old video loop keeps going meanwhile.
    const uint64_t videoCalls = host.calls(TRACK_VIDEO);
    EXPECT_TRUE(eventually([&] { return host.calls(TRACK_VIDEO) > videoCalls + 50; }));
    EXPECT_FALSE(runReturned.load());
    EXPECT_EQ(1u, host.threadsOf(TRACK_AUDIO).size());
    EXPECT_EQ(oldVideo, host.lastThread(TRACK_VIDEO));

    host.releaseAudio();
    host2.join();
    EXPECT_TRUE(runReturned.load());
    ASSERT_TRUE(eventually([&] {
        return host.threadsOf(TRACK_AUDIO).size() == 2 && host.threadsOf(TRACK_VIDEO).size() == 2;
    }));
    EXPECT_EQ(1u, host.threadsOf(TRACK_AUDIO).count(oldAudio));
    EXPECT_EQ(1u, host.threadsOf(TRACK_VIDEO).count(oldVideo));
}

TEST_F(CTavoMediaPlayerTest, DestroyingARunningPlayerEndsItsLoops) {
    player->run();
    ASSERT_TRUE(bothTracksPulledMoreThan(0, 0));
    ITavoMediaPlayer* copy = player;
    destroyMediaPlayerInstance(&player);
    EXPECT_EQ(copy, player);  // the caller's pointer is not cleared
    player = nullptr;
    EXPECT_EQ(0, host.inFlight());
}

TEST_F(CTavoMediaPlayerTest, PauseInPlaybackModeHoldsBothLoopsUntilResume) {
    int32_t mode = PLAY_MODE_PLAYBACK;
    ASSERT_EQ(0, player->setParam(PARAM_PLAY_MODE, &mode));
    player->run();
    ASSERT_TRUE(bothTracksPulledMoreThan(0, 0));
    const uint32_t loops[] = {host.lastThread(TRACK_AUDIO), host.lastThread(TRACK_VIDEO)};

    EXPECT_EQ(0, player->pause());
    // Once a loop has started a sleep after pause(), any sample request of the
    // pass it was in is behind it; from then on it must not ask again.
    const uint64_t sleepsAtPause[] = {time.sleepsOf(loops[0]), time.sleepsOf(loops[1])};
    ASSERT_TRUE(eventually([&] {
        return time.sleepsOf(loops[0]) > sleepsAtPause[0] &&
               time.sleepsOf(loops[1]) > sleepsAtPause[1];
    }));
    const uint64_t audioCalls = host.calls(TRACK_AUDIO);
    const uint64_t videoCalls = host.calls(TRACK_VIDEO);
    ASSERT_TRUE(eventually([&] {
        return time.sleepsOf(loops[0]) > sleepsAtPause[0] + 20 &&
               time.sleepsOf(loops[1]) > sleepsAtPause[1] + 20;
    }));
    EXPECT_EQ(audioCalls, host.calls(TRACK_AUDIO));
    EXPECT_EQ(videoCalls, host.calls(TRACK_VIDEO));

    EXPECT_EQ(0, player->resume());
    EXPECT_TRUE(bothTracksPulledMoreThan(audioCalls, videoCalls));
}

TEST_F(CTavoMediaPlayerTest, PauseInLiveModeKeepsBothLoopsPulling) {
    player->run();
    ASSERT_TRUE(bothTracksPulledMoreThan(0, 0));
    EXPECT_EQ(0, player->pause());
    EXPECT_TRUE(
        bothTracksPulledMoreThan(host.calls(TRACK_AUDIO) + 20, host.calls(TRACK_VIDEO) + 20));
    EXPECT_EQ(0, player->resume());
    EXPECT_TRUE(
        bothTracksPulledMoreThan(host.calls(TRACK_AUDIO) + 20, host.calls(TRACK_VIDEO) + 20));
}

TEST_F(CTavoMediaPlayerTest, TheHostOperationsLogUnderTheirOwnNames) {
    LogDir dir;
    EXPECT_EQ(0, player->stop());  // never ran: logs and does nothing else
    EXPECT_EQ(0u, host.calls(TRACK_AUDIO) + host.calls(TRACK_VIDEO));
    player->run();
    player->pause();
    player->resume();
    player->stop();
    EXPECT_EQ(0, player->noOp1(7));
    EXPECT_EQ(0, player->noOp2(7));

    const std::vector<LogEntry> entries = dir.entries();
    ASSERT_EQ(5u, entries.size());
    const char* expected[][2] = {{"CTavoMediaPlayer::stop", "player stop!"},
                                 {"CTavoMediaPlayer::run", "player start run!"},
                                 {"CTavoMediaPlayer::pause", "player pause!"},
                                 {"CTavoMediaPlayer::resume", "player resume!"},
                                 {"CTavoMediaPlayer::stop", "player stop!"}};
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ("CTavoMediaPlayer.cpp", entries[i].file);
        EXPECT_EQ(expected[i][0], entries[i].function);
        EXPECT_EQ(expected[i][1], entries[i].message);
    }
}

TEST(CTavoMediaPlayerIdle, WithoutHostContextTheLoopsIdleUntilOneIsGiven) {
    CountingTimeSource time;
    TestHost host;
    struct Owner {
        ~Owner() { destroyMediaPlayerInstance(&player); }
        ITavoMediaPlayer* player = nullptr;
    } owner;
    ASSERT_TRUE(createMediaPlayerInstance(nullptr, &owner.player));
    ITavoMediaPlayer* player = owner.player;
    player->run();
    ASSERT_TRUE(eventually([&] { return time.threadsIdling(5) == 2; }));

    // A context without a media source idles the same way.
    HostContext noSource{nullptr, nullptr, nullptr, nullptr};
    CTavoMediaPlayer* concrete = static_cast<CTavoMediaPlayer*>(player);
    EXPECT_EQ(0, concrete->setHostContext(&noSource));
    ASSERT_TRUE(eventually([&] { return time.threadsIdling(50) == 2; }));

    EXPECT_EQ(0, concrete->setHostContext(&host.context));
    ASSERT_TRUE(
        eventually([&] { return host.calls(TRACK_AUDIO) > 0 && host.calls(TRACK_VIDEO) > 0; }));
    destroyMediaPlayerInstance(&owner.player);
    owner.player = nullptr;
    EXPECT_EQ(0, host.inFlight());
}

}  // namespace

// The audio processing wrapper lives exactly as long as the player: made in
// the constructor, released (with its debug line) only by the destructor,
// whatever runs in between.
TEST(CTavoMediaPlayer, AudioProcessingLivesAsLongAsThePlayer) {
    ScopedEnv debugOutput("TAVOPLAYER_DEBUG_OUTPUT", "1");
    ::testing::internal::CaptureStderr();
    CTavoMediaPlayer* player = new CTavoMediaPlayer();
    player->run();
    player->stop();
    player->run();
    player->stop();
    EXPECT_EQ("", ::testing::internal::GetCapturedStderr());
    ::testing::internal::CaptureStderr();
    delete player;
    EXPECT_EQ("sdas!!!!!!!!!!!!!!!!!\n", ::testing::internal::GetCapturedStderr());
}
