#include "Common/Log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "TavoPlayerCore/CMediaRefClock.h"
#include "support/LogDir.h"
#include "support/ScopedEnv.h"
#include "tavoplayer/ITavoMediaPlayer.h"

using RIVO_Common_Player::writeLog;

namespace {

using LocalTime = std::tuple<int, int, int, int, int, int, int>;

LocalTime localTimeNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,        local.tm_hour,
            local.tm_min,         local.tm_sec,     now.tv_nsec / 1000000};
}

LocalTime parseTime(const std::string& stamp) {
    LocalTime t;
    EXPECT_EQ(7, std::sscanf(stamp.c_str(), "%d-%d-%d %d:%d:%d:%d", &std::get<0>(t),
                             &std::get<1>(t), &std::get<2>(t), &std::get<3>(t), &std::get<4>(t),
                             &std::get<5>(t), &std::get<6>(t)));
    return t;
}

// The number of the source line that holds text.
int sourceLineOf(const std::string& path, const std::string& text) {
    std::ifstream in(std::string(TAVO_SOURCE_DIR) + "/" + path);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.find(text) != std::string::npos) {
            return number;
        }
    }
    ADD_FAILURE() << text << " not found in " << path;
    return 0;
}

TEST(Log, AnEntryHasTheEngineFormatByteForByte) {
    LogDir dir;
    CMediaRefClock clock;
    const LocalTime before = localTimeNow();
    clock.Reset();
    const LocalTime after = localTimeNow();

    const std::vector<LogEntry> entries = dir.entries();
    ASSERT_EQ(1u, entries.size());
    const LogEntry& entry = entries[0];
    const int line = sourceLineOf("src/TavoPlayerCore/CMediaRefClock.cpp",
                                  "RIVO_LOG(\"cmediarefclock reset!\")");
    EXPECT_EQ("LOGInfo: time:" + entry.time + "  CMediaRefClock.cpp  CMediaRefClock::Reset  " +
                  std::to_string(line) + "    cmediarefclock reset!\n\n",
              dir.read());
    // The stamp is the local time of the call, in fields without leading
    // zeros (the entry format rejects those).
    const LocalTime stamp = parseTime(entry.time);
    EXPECT_LE(before, stamp);
    EXPECT_LE(stamp, after);
}

TEST(Log, TimeStampsHaveNoLeadingZeros) {
    tm local{};
    local.tm_year = 2019 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 7;
    local.tm_hour = 9;
    local.tm_min = 5;
    local.tm_sec = 2;
    char stamp[128];
    RIVO_Common_Player::formatLogTime(stamp, local, 5);
    EXPECT_STREQ("2019-3-7 9:5:2:5", stamp);
    local.tm_min = 0;
    RIVO_Common_Player::formatLogTime(stamp, local, 41);
    EXPECT_STREQ("2019-3-7 9:0:2:41", stamp);
}

TEST(Log, WriteLogAddsOneLineFeedAndCutsAt1023Characters) {
    LogDir dir;
    writeLog("plain %d %s", 7, "text");
    std::string expected = "plain 7 text\n";
    EXPECT_EQ(expected, dir.read());

    writeLog("%s", std::string(1022, 'a').c_str());
    expected += std::string(1022, 'a') + "\n";
    writeLog("%s", std::string(1023, 'b').c_str());
    expected += std::string(1023, 'b');  // the line feed no longer fits
    writeLog("%s%s", std::string(3000, 'c').c_str(), "tail");
    expected += std::string(1023, 'c');
    const std::string text = dir.read();
    EXPECT_EQ(expected.size(), text.size());
    EXPECT_TRUE(expected == text);
}

TEST(Log, TheFirstEntryOfAProcessEmptiesAnOldFile) {
    LogDir dir;
    const std::string old = "LOGInfo: an entry of an earlier run\n\n";
    dir.write(old);
    // Creating a clock logs nothing, so the old file is still whole.
    CMediaRefClock clock;
    EXPECT_EQ(old, dir.read());
    clock.Reset();
    clock.Reset();
    const std::vector<LogEntry> entries = dir.entries();
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ("cmediarefclock reset!", entries[1].message);
}

TEST(Log, WithoutADirectoryNamedDriveDLoggingIsASilentNoOpUntilItExists) {
    LogDir dir(false);
    writeLog("lost %d", 1);
    CMediaRefClock clock;
    clock.Reset();
    EXPECT_FALSE(dir.logExists());

    // Every entry tries to open the file again.
    dir.createDrive();
    writeLog("kept %d\n", 2);
    EXPECT_EQ("kept 2\n\n", dir.read());
}

TEST(Log, TheEnvironmentCanSendTheLogElsewhere) {
    LogDir dir(false);
    // Relative to the working directory, which is the test's own.
    ScopedEnv elsewhere("TAVOPLAYER_LOG", "elsewhere.log");
    writeLog("sent %d", 3);
    dir.createDrive();
    EXPECT_FALSE(dir.logExists());
    std::ifstream log("elsewhere.log");
    std::string line;
    EXPECT_TRUE(std::getline(log, line) && line == "sent 3") << line;
}

// Two players and many threads log at once, starting before the file is open:
// the file is opened once, and every entry arrives whole.
TEST(Log, PlayersAndThreadsShareOneFileOpenedOnce) {
    LogDir dir;
    ITavoMediaPlayer* players[2] = {};
    ASSERT_TRUE(createMediaPlayerInstance(nullptr, &players[0]));
    ASSERT_TRUE(createMediaPlayerInstance(nullptr, &players[1]));

    constexpr int kThreads = 6;
    constexpr int kEntries = 40;
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; ++k) {
        threads.emplace_back([&, k] {
            ++ready;
            while (ready.load() < kThreads) {
                std::this_thread::yield();
            }
            for (int i = 0; i < kEntries; ++i) {
                if (k < 2) {
                    players[k]->pause();
                } else {
                    RIVO_LOG("worker %d entry %d", k, i);
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    destroyMediaPlayerInstance(&players[0]);
    destroyMediaPlayerInstance(&players[1]);

    std::set<std::pair<int, int>> workerEntries;
    int pauses = 0;
    int stops = 0;
    for (const LogEntry& entry : dir.entries()) {
        int k = 0;
        int i = 0;
        if (std::sscanf(entry.message.c_str(), "worker %d entry %d", &k, &i) == 2) {
            EXPECT_EQ("LogTest.cpp", entry.file);
            workerEntries.insert({k, i});
        } else if (entry.message == "player pause!") {
            EXPECT_EQ("CTavoMediaPlayer::pause", entry.function);
            ++pauses;
        } else if (entry.message == "player stop!") {
            ++stops;
        } else {
            ADD_FAILURE() << "unexpected entry " << entry.message;
        }
    }
    EXPECT_EQ(static_cast<size_t>((kThreads - 2) * kEntries), workerEntries.size());
    EXPECT_EQ(2 * kEntries, pauses);
    EXPECT_EQ(2, stops);  // one from each player's destruction
}

TEST(LogFunctionName, IsTheQualifiedNameBeforeTheParameterList) {
    using RIVO_Common_Player::LogFunctionName;
    EXPECT_STREQ("CTavoMediaPlayer::run",
                 LogFunctionName("virtual int32_t CTavoMediaPlayer::run()").c_str());
    EXPECT_STREQ("CMediaRefClock::GetTime",
                 LogFunctionName("virtual uint32_t CMediaRefClock::GetTime(uint8_t)").c_str());
    EXPECT_STREQ("A::B::make",
                 LogFunctionName("const std::map<int, int>& A::B::make(int, char*)").c_str());
    EXPECT_STREQ("CTavoMediaPlayer::CTavoMediaPlayer",
                 LogFunctionName("CTavoMediaPlayer::CTavoMediaPlayer()").c_str());
    EXPECT_STREQ("freeFunction", LogFunctionName("void* freeFunction(void)").c_str());
    EXPECT_STREQ("CTavoMediaPlayer::stop",
                 LogFunctionName("CTavoMediaPlayer::stop()::<lambda()>").c_str());
}

TEST(LogFileField, IsTheTextAfterTheLastSlash) {
    using RIVO_Common_Player::logFileField;
    EXPECT_STREQ("CMediaRefClock.cpp", logFileField("/src/TavoPlayerCore/CMediaRefClock.cpp"));
    EXPECT_STREQ("..\\..\\src\\Log.cpp", logFileField("..\\..\\src\\Log.cpp"));
    EXPECT_STREQ("", logFileField("dir/"));
}

}  // namespace
