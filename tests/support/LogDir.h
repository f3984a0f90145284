#pragma once

#include <string>
#include <vector>

#include "support/TempDir.h"

// One entry of the engine's log file, split into its fields.
struct LogEntry {
    std::string time;      // "2019-3-7 9:5:2:41"
    std::string file;      // source file field
    std::string function;  // "Class::operation"
    int line = 0;
    std::string message;  // without the entry's line feeds
};

// A temporary working directory for tests that write the log. It holds a
// directory named "D:" (unless told not to), so the engine's log file
// "D:/rivolog_player.log" lands inside it. The log is closed on entry and on
// exit, so the first entry written meanwhile opens the file afresh.
class LogDir {
public:
    explicit LogDir(bool withDrive = true);
    ~LogDir();

    LogDir(const LogDir&) = delete;
    LogDir& operator=(const LogDir&) = delete;

    // Creates the "D:" directory.
    void createDrive() const;
    bool logExists() const;
    // The whole log file; empty when there is none.
    std::string read() const;
    // Replaces the log file's content (as an earlier run would have left it).
    void write(const std::string& text) const;
    // Parses the log into entries. Fails the calling test (and returns what
    // it could parse) if any text does not follow the entry format
    // "LOGInfo: time:%s  %s  %s  %d    <message>\n\n".
    std::vector<LogEntry> entries() const;

private:
    TempDir m_dir;
};
