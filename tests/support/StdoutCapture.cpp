#include "support/StdoutCapture.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>

StdoutCapture::StdoutCapture() {
    int ends[2];
    std::fflush(stdout);
    if (pipe(ends) != 0) {
        throw std::runtime_error("pipe failed");
    }
    m_savedStdout = dup(STDOUT_FILENO);
    dup2(ends[1], STDOUT_FILENO);
    close(ends[1]);
    m_readEnd = ends[0];
    m_reader = std::thread(&StdoutCapture::readAll, this);
}

StdoutCapture::~StdoutCapture() {
    std::fflush(stdout);
    // Putting the old descriptor back closes the pipe's last write end, so
    // the reader sees the end of the stream.
    dup2(m_savedStdout, STDOUT_FILENO);
    close(m_savedStdout);
    m_reader.join();
    close(m_readEnd);
}

void StdoutCapture::readAll() {
    char chunk[4096];
    for (;;) {
        const ssize_t got = read(m_readEnd, chunk, sizeof(chunk));
        if (got <= 0) {
            return;
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_text.append(chunk, static_cast<size_t>(got));
        }
        m_grown.notify_all();
    }
}

std::string StdoutCapture::text() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_text;
}

size_t StdoutCapture::count(const std::string& needle) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return countLocked(needle);
}

size_t StdoutCapture::countLocked(const std::string& needle) const {
    size_t found = 0;
    for (size_t at = m_text.find(needle); at != std::string::npos;
         at = m_text.find(needle, at + needle.size())) {
        ++found;
    }
    return found;
}

bool StdoutCapture::waitForCount(const std::string& needle, size_t times) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_grown.wait_for(lock, std::chrono::seconds(20),
                            [&] { return countLocked(needle) >= times; });
}
