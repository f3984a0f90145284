#include "support/ScopedEnv.h"

#include <cstdlib>

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name) {
    const char* previous = std::getenv(name);
    m_hadValue = previous != nullptr;
    if (previous) {
        m_previous = previous;
    }
    if (value) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}

ScopedEnv::~ScopedEnv() {
    if (m_hadValue) {
        setenv(m_name.c_str(), m_previous.c_str(), 1);
    } else {
        unsetenv(m_name.c_str());
    }
}
