#include "support/LogDir.h"

#include <filesystem>
#include <fstream>
#include <iterator>

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
