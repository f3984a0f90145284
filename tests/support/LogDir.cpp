#include "support/LogDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "Common/Log.h"

namespace {

constexpr const char* kLogFile = "D:/rivolog_player.log";

// Reads a decimal number without leading zeros at pos.
bool readNumber(const std::string& text, size_t& pos) {
    const size_t start = pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        ++pos;
    }
    return pos > start && (text[start] != '0' || pos == start + 1);
}

bool readLiteral(const std::string& text, size_t& pos, const std::string& literal) {
    if (text.compare(pos, literal.size(), literal) != 0) {
        return false;
    }
    pos += literal.size();
    return true;
}

// Reads a field that holds neither spaces nor line feeds, up to separator.
bool readField(const std::string& text, size_t& pos, const std::string& separator,
               std::string& field) {
    const size_t end = text.find(separator, pos);
    if (end == std::string::npos || end == pos || text.find_first_of(" \n", pos) < end) {
        return false;
    }
    field = text.substr(pos, end - pos);
    pos = end + separator.size();
    return true;
}

// "Y-M-D h:m:s:ms", every number without leading zeros.
bool readTime(const std::string& text, size_t& pos, std::string& time) {
    const size_t start = pos;
    for (const char* separator : {"-", "-", " ", ":", ":", ":"}) {
        if (!readNumber(text, pos) || !readLiteral(text, pos, separator)) {
            return false;
        }
    }
    if (!readNumber(text, pos)) {
        return false;
    }
    time = text.substr(start, pos - start);
    return true;
}

bool readEntry(const std::string& text, size_t& pos, LogEntry& entry) {
    if (!readLiteral(text, pos, "LOGInfo: time:") || !readTime(text, pos, entry.time) ||
        !readLiteral(text, pos, "  ") || !readField(text, pos, "  ", entry.file) ||
        !readField(text, pos, "  ", entry.function)) {
        return false;
    }
    const size_t lineStart = pos;
    if (!readNumber(text, pos)) {
        return false;
    }
    entry.line = std::stoi(text.substr(lineStart, pos - lineStart));
    if (!readLiteral(text, pos, "    ")) {
        return false;
    }
    const size_t end = text.find("\n\n", pos);
    if (end == std::string::npos || text.find('\n', pos) < end) {
        return false;
    }
    entry.message = text.substr(pos, end - pos);
    pos = end + 2;
    return true;
}

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
    const std::string text = read();
    std::vector<LogEntry> result;
    size_t pos = 0;
    while (pos < text.size()) {
        LogEntry entry;
        const size_t start = pos;
        if (!readEntry(text, pos, entry)) {
            ADD_FAILURE() << "malformed log text at offset " << start << ": "
                          << text.substr(start, 200);
            break;
        }
        result.push_back(entry);
    }
    return result;
}
