#include "support/LogDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "Common/Log.h"

namespace {

constexpr const char* kLogFile = "D:/rivolog_player.log";

}  // namespace

LogDir::LogDir(bool withDrive) : m_dir(true) {
    RIVO_Common_Player::resetLogForTesting();
    if (withDrive) {
        createDrive();
    }
}

LogDir::~LogDir() {
    RIVO_Common_Player::resetLogForTesting();
}

void LogDir::createDrive() const {
    std::filesystem::create_directory(m_dir.file("D:"));
}

bool LogDir::logExists() const {
    return std::filesystem::exists(m_dir.file(kLogFile));
}

std::string LogDir::read() const {
    std::ifstream in(m_dir.file(kLogFile), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void LogDir::write(const std::string& text) const {
    std::ofstream out(m_dir.file(kLogFile), std::ios::binary | std::ios::trunc);
    out << text;
}

std::vector<LogEntry> LogDir::entries() const {
    // Numbers without leading zeros.
    const std::string n = "(?:0|[1-9][0-9]*)";
    const std::regex format("LOGInfo: time:(" + n + "-" + n + "-" + n + " " + n + ":" + n + ":" +
                            n + ":" + n + ")  ([^ \n]+)  ([^ \n]+)  (" + n + ")    ([^\n]*)\n\n");
    const std::string text = read();
    std::vector<LogEntry> result;
    std::smatch match;
    auto position = text.cbegin();
    while (position != text.cend()) {
        if (!std::regex_search(position, text.cend(), match, format,
                               std::regex_constants::match_continuous)) {
            ADD_FAILURE() << "malformed log text at offset " << (position - text.cbegin()) << ": "
                          << std::string(position, text.cend()).substr(0, 200);
            break;
        }
        LogEntry entry;
        entry.time = match[1];
        entry.file = match[2];
        entry.function = match[3];
        entry.line = std::stoi(match[4]);
        entry.message = match[5];
        result.push_back(entry);
        position = match[0].second;
    }
    return result;
}
