#include "support/XvfbServer.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

XvfbServer::XvfbServer(int width, int height, const std::vector<std::string>& extraArguments)
    : m_pid(-1) {
    int fds[2];
    if (pipe(fds) != 0) {
        return;
    }
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    const std::string fd = std::to_string(fds[1]);
    // -displayfd makes Xvfb pick a free display and write its number once it accepts clients.
    std::vector<std::string> arguments = {"Xvfb", "-displayfd", fd,    "-screen", "0",
                                          screen, "-nolisten",  "tcp", "-noreset"};
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(&argument[0]);
    }
    argv.push_back(nullptr);
    m_pid = fork();
    if (m_pid == 0) {
        close(fds[0]);
        // A test process that dies (a sanitizer abort, say) takes its server
        // along, instead of leaving it to hold the test runner's output open.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        execvp("Xvfb", argv.data());
        _exit(127);
    }
    close(fds[1]);
    if (m_pid < 0) {
        close(fds[0]);
        return;
    }
    std::string number;
    char c = 0;
    while (read(fds[0], &c, 1) == 1 && c != '\n') {
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
        return;
    }
    m_display = ":" + number;
    setenv("DISPLAY", m_display.c_str(), 1);
}

XvfbServer::~XvfbServer() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
}
