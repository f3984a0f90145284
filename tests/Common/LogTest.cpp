#include "Common/Log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/LogDir.h"
#include "support/ScopedEnv.h"

using RIVO_Common_Player::writeLog;

namespace {

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

// Many threads log at once, starting before the file is open: the file is
// opened once, and every entry arrives whole, as
// "LOGInfo: time:<local time>  <file>  <function>  <line>    <message>\n\n".
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
    // Every entry is whole: the text splits into entries of the format.
    const std::string text = dir.read();
    std::set<std::pair<int, int>> entries;
    for (size_t at = 0, end; (end = text.find("\n\n", at)) != std::string::npos; at = end + 2) {
        int k = -1;
        int i = -1;
        std::sscanf(text.substr(at, end - at).c_str(),
                    "LOGInfo: time:%*d-%*d-%*d %*d:%*d:%*d:%*d  LogTest.cpp  %*s  %*d    worker %d "
                    "entry %d",
                    &k, &i);
        EXPECT_TRUE(k >= 0 && i >= 0) << text.substr(at, end - at);
        entries.insert({k, i});
    }
    EXPECT_EQ(static_cast<size_t>(kThreads * kEntries), entries.size());
}

}  // namespace
