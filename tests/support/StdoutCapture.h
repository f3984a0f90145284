#pragma once

// Takes what the process writes to standard output (file descriptor 1) for
// its lifetime into an anonymous temporary file, so that the engine's
// per-block lines stay out of a benchmark's report.
class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();

    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

private:
    int m_savedStdout;
};
