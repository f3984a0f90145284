#include "support/TempDir.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

TempDir::TempDir(bool enter) {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavo-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = pattern;
    if (enter) {
        m_previousDir = std::filesystem::current_path().string();
        std::filesystem::current_path(m_path);
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!m_previousDir.empty()) {
        std::filesystem::current_path(m_previousDir, ignored);
    }
    std::filesystem::remove_all(m_path, ignored);
}
