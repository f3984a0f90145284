#include "Platform/Win32/DebugOutput.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

void OutputDebugStringA(const char* text) {
    // Departure from the described engine, where the text goes to an
    // attached debugger: here it reaches standard error only when the
    // environment asks for it (TAVOPLAYER_DEBUG_OUTPUT=1), so that hosts'
    // consoles stay clean.
    const char* wanted = std::getenv("TAVOPLAYER_DEBUG_OUTPUT");
    if (!text || !wanted || std::strcmp(wanted, "1") != 0) {
        return;
    }
    const size_t length = std::strlen(text);
    const bool endsLine = length > 0 && text[length - 1] == '\n';
    std::fprintf(stderr, endsLine ? "%s" : "%s\n", text);
}
