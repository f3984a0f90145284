#pragma once

#include <cstdio>
#include <mutex>
#include <string>

// The program's output: messages, one line each, and a status line. On a
// terminal the status line is redrawn in place below the messages; otherwise
// every status becomes a line of its own. Any thread may print.
class Console {
public:
    Console(FILE* out, bool terminal);

    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    void message(const std::string& line);
    void status(const std::string& line);
    // Leaves the status line standing (on a terminal) before the program ends.
    void finish();

private:
    FILE* m_out;
    const bool m_terminal;
    std::mutex m_mutex;
    std::string m_status;  // the status line on screen, empty when none
};
