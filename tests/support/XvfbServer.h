#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// A private X server (Xvfb) for one test process. The constructor starts it
// on a free display number and points $DISPLAY at it, so that the library's
// X11 connection, opened on first use, talks to it; the destructor ends it.
// Extra arguments go to Xvfb as they are (say, "-extension" "MIT-SHM" for a
// server without shared-memory images).
class XvfbServer {
public:
    explicit XvfbServer(int width = 1280, int height = 1024,
                        const std::vector<std::string>& extraArguments = {});
    ~XvfbServer();

    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // False when Xvfb could not be started; display() is then empty.
    bool started() const { return !m_display.empty(); }
    const std::string& display() const { return m_display; }
    // The server's process, -1 when it did not start.
    pid_t pid() const { return m_display.empty() ? -1 : m_pid; }

private:
    pid_t m_pid;
    std::string m_display;
};
