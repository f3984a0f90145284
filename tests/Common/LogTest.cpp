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
    char stamp[128];
    RIVO_Common_Player::formatLogTime(stamp, local, 41);
    EXPECT_STREQ("2019-3-7 9:0:0:41", stamp);
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

// The first entry of a process empties what an earlier run left; without a
// directory named "D:" nothing is written, and every entry tries again.
TEST(Log, TheFirstEntryEmptiesAnOldFileOnceTheDriveExists) {
    LogDir dir(false);
    writeLog("lost %d", 1);
    EXPECT_FALSE(dir.logExists());
    dir.createDrive();
    dir.write("LOGInfo: an entry of an earlier run\n\n");
    writeLog("kept %d\n", 2);
    writeLog("kept %d", 3);
    EXPECT_EQ("kept 2\n\nkept 3\n", dir.read());
}

// Many threads log at once, starting before the file is open: the file is
// opened once, and every entry arrives whole.
TEST(Log, ThreadsShareOneFileOpenedOnce) {
    LogDir dir;
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
                RIVO_LOG("worker %d entry %d", k, i);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::set<std::pair<int, int>> entries;
    for (const LogEntry& entry : dir.entries()) {
        int k = 0;
        int i = 0;
        EXPECT_EQ(2, std::sscanf(entry.message.c_str(), "worker %d entry %d", &k, &i));
        entries.insert({k, i});
    }
    EXPECT_EQ(static_cast<size_t>(kThreads * kEntries), entries.size());
}

// The function and file fields of an entry, from the compiler's names.
TEST(Log, FieldsAreTheQualifiedFunctionNameAndTheFileName) {
    const char* functions[][2] = {
        {"virtual int32_t CTavoMediaPlayer::run()", "CTavoMediaPlayer::run"},
        {"const std::map<int, int>& A::B::make(int, char*)", "A::B::make"},
        {"CTavoMediaPlayer::CTavoMediaPlayer()", "CTavoMediaPlayer::CTavoMediaPlayer"},
        {"void* freeFunction(void)", "freeFunction"},
        {"CTavoMediaPlayer::stop()::<lambda()>", "CTavoMediaPlayer::stop"}};
    for (const auto& row : functions) {
        EXPECT_STREQ(row[1], RIVO_Common_Player::LogFunctionName(row[0]).c_str());
    }
    const char* files[][2] = {{"/src/TavoPlayerCore/CMediaRefClock.cpp", "CMediaRefClock.cpp"},
                              {"..\\..\\src\\Log.cpp", "..\\..\\src\\Log.cpp"},
                              {"dir/", ""}};
    for (const auto& row : files) {
        EXPECT_STREQ(row[1], RIVO_Common_Player::logFileField(row[0]));
    }
}

}  // namespace
