#include "Console.h"

namespace {

// Carriage return, then erase to the end of the line.
constexpr const char* kClearLine = "\r\033[K";

}  // namespace

Console::Console(FILE* out, bool terminal) : m_out(out), m_terminal(terminal) {}

void Console::message(const std::string& line) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_terminal && !m_status.empty()) {
        std::fprintf(m_out, "%s%s\n%s", kClearLine, line.c_str(), m_status.c_str());
    } else {
        std::fprintf(m_out, "%s\n", line.c_str());
    }
    std::fflush(m_out);
}

void Console::status(const std::string& line) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_terminal) {
        std::fprintf(m_out, "%s%s", kClearLine, line.c_str());
        m_status = line;
    } else {
        std::fprintf(m_out, "%s\n", line.c_str());
    }
    std::fflush(m_out);
}

void Console::finish() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_terminal && !m_status.empty()) {
        std::fprintf(m_out, "\n");
        std::fflush(m_out);
        m_status.clear();
    }
}
