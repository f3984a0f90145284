#pragma once

#include <string>

// A fresh directory under the system's temporary directory, removed with its
// contents on destruction. With enter set, it is also the working directory
// for its lifetime (the previous one comes back afterwards).
class TempDir {
public:
    explicit TempDir(bool enter = false);
    ~TempDir();

    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
    std::string m_previousDir;
};
