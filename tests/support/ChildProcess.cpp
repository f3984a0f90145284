#include "support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

ChildProcess::ChildProcess(const std::vector<std::string>& arguments)
    : m_pid(-1), m_fd(-1), m_status(-1) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
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
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition(m_output)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
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
    const bool ended = waitFor([this](const std::string&) { return m_fd < 0; }, timeoutMs);
    reap(!ended);
    return ended ? m_status : -1;
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
        close(m_fd);
        m_fd = -1;
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
