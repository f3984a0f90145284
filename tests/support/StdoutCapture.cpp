#include "support/StdoutCapture.h"

#include <unistd.h>

#include <cstdio>

StdoutCapture::StdoutCapture() : m_savedStdout(dup(STDOUT_FILENO)) {
    std::fflush(stdout);
    if (std::FILE* file = std::tmpfile()) {
        dup2(fileno(file), STDOUT_FILENO);
        std::fclose(file);
    }
}

StdoutCapture::~StdoutCapture() {
    std::fflush(stdout);
    dup2(m_savedStdout, STDOUT_FILENO);
    close(m_savedStdout);
}
