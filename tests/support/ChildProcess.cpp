#include "support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace {

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& arguments)
    : m_pid(-1), m_fd(-1), m_status(-1) {
    int fds[2];
    if (arguments.empty() || pipe2(fds, O_CLOEXEC) != 0) {
        return;
    }
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    m_pid = fork();
    if (m_pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        dup2(fds[1], STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    if (m_pid < 0) {
        close(fds[0]);
        return;
    }
    m_fd = fds[0];
}

ChildProcess::~ChildProcess() {
    reap(true);
    if (m_fd >= 0) {
        close(m_fd);
    }
}

bool ChildProcess::waitFor(const std::function<bool(const std::string&)>& condition,
                           int timeoutMs) {
    const int64_t deadline = nowMs() + timeoutMs;
    while (!condition(m_output)) {
        const int64_t left = deadline - nowMs();
        if (left <= 0 || !readSome(static_cast<int>(left))) {
            return condition(m_output);
        }
    }
    return true;
}

bool ChildProcess::waitForOutput(const std::string& text, int timeoutMs, size_t from) {
    return waitFor(
        [&](const std::string& output) {
            return output.size() > from && output.find(text, from) != std::string::npos;
        },
        timeoutMs);
}

int ChildProcess::wait(int timeoutMs) {
    const int64_t deadline = nowMs() + timeoutMs;
    for (;;) {
        const int64_t left = deadline - nowMs();
        if (left <= 0) {
            reap(true);
            return -1;
        }
        if (!readSome(static_cast<int>(left))) {
            break;
        }
    }
    reap(false);
    return m_status;
}

bool ChildProcess::readSome(int timeoutMs) {
    if (m_fd < 0) {
        return false;
    }
    pollfd input{m_fd, POLLIN, 0};
    if (poll(&input, 1, timeoutMs) <= 0) {
        return true;
    }
    char buffer[4096];
    const ssize_t count = read(m_fd, buffer, sizeof(buffer));
    if (count <= 0) {
        return false;
    }
    m_output.append(buffer, static_cast<size_t>(count));
    return true;
}

void ChildProcess::reap(bool kill) {
    if (m_pid <= 0) {
        return;
    }
    if (kill) {
        ::kill(m_pid, SIGKILL);
    }
    int status = 0;
    if (waitpid(m_pid, &status, 0) == m_pid) {
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    m_pid = -1;
}
