#pragma once

#include <string>

#include "support/TempDir.h"

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

private:
    TempDir m_dir;
};
