#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

// Collects what the process writes to standard output (file descriptor 1)
// for its lifetime, so that tests can read it and wait for lines that other
// threads print.
class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();

    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    std::string text() const;
    // How often `needle` occurs in the text so far.
    size_t count(const std::string& needle) const;
    // Waits until `needle` has occurred `times` times; false when that has not
    // happened within a generous bound.
    bool waitForCount(const std::string& needle, size_t times);

private:
    size_t countLocked(const std::string& needle) const;
    void readAll();

    int m_savedStdout;
    int m_readEnd;
    std::thread m_reader;
    mutable std::mutex m_mutex;
    std::condition_variable m_grown;
    std::string m_text;  // guarded by m_mutex
};
