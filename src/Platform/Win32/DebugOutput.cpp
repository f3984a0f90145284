#include "Platform/Win32/DebugOutput.h"

#include <cstdio>
#include <cstring>

void OutputDebugStringA(const char* text) {
    if (!text) {
        return;
    }
    const size_t length = std::strlen(text);
    const bool endsLine = length > 0 && text[length - 1] == '\n';
    std::fprintf(stderr, endsLine ? "%s" : "%s\n", text);
}
