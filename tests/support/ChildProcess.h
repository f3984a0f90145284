#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

// A program run as a process of its own, its standard output and error going
// into one pipe that the test reads. Waits end when what they wait for has
// been seen or the process has ended; their time limits only keep a broken
// program from hanging the test.
class ChildProcess {
public:
    // Starts arguments[0] (a path) with the rest as its arguments, in the
    // test's environment.
    explicit ChildProcess(const std::vector<std::string>& arguments);
    // Kills the process if it is still running.
    ~ChildProcess();

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Reads output until condition(output) holds; false when the process
    // ended or timeoutMs passed first.
    bool waitFor(const std::function<bool(const std::string&)>& condition, int timeoutMs);
    // Until text appears at or after offset from of the output.
    bool waitForOutput(const std::string& text, int timeoutMs, size_t from = 0);

    // Reads output until the process has ended. Returns its exit status, 128
    // plus the signal's number when a signal ended it, or -1 when timeoutMs
    // passed (the process is then killed).
    int wait(int timeoutMs);

    // Everything read so far.
    const std::string& output() const { return m_output; }

private:
    // Reads what is there within timeoutMs; false at the end of the output
    // (the pipe is then closed).
    bool readSome(int timeoutMs);
    void reap(bool kill);

    pid_t m_pid;
    int m_fd;
    std::string m_output;
    int m_status;
};
