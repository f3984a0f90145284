#pragma once

#include <string>

// Sets (or with a null value, removes) an environment variable for the
// lifetime of the object; the previous state comes back on destruction.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();

    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    bool m_hadValue;
    std::string m_previous;
};
