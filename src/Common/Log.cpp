#include "Common/Log.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "Common/CScopedLock.h"

namespace RIVO_Common_Player {

namespace {

std::atomic<FILE*> g_logStream{nullptr};
// Serialises the lazy open and the test reset, so that two threads logging
// their first entries at once never open the file twice; the stream itself is
// an atomic read without it.
CLock g_openLock;

FILE* logStream() {
    FILE* stream = g_logStream.load(std::memory_order_acquire);
    if (stream) {
        return stream;
    }
    CScopedLock guard(g_openLock);
    stream = g_logStream.load(std::memory_order_acquire);
    if (!stream) {
        // Departure from the described engine: an environment variable can
        // send the log elsewhere; the described path stays the default.
        const char* path = std::getenv("TAVOPLAYER_LOG");
        stream = std::fopen(path && *path ? path : kLogFilePath, "wb");
        g_logStream.store(stream, std::memory_order_release);
    }
    return stream;
}

}  // namespace

bool logEnabled() {
    return logStream() != nullptr;
}

void writeLog(const char* format, ...) {
    FILE* stream = logStream();
    if (!stream) {
        return;
    }
    char message[1024] = {};
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof(message), format, args);
    va_end(args);
    char entry[1024] = {};
    std::snprintf(entry, sizeof(entry), "%s\n", message);
    std::fwrite(entry, 1, std::strlen(entry), stream);
    std::fflush(stream);
}

void formatLogTime(char (&out)[128]) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    formatLogTime(out, local, static_cast<int>(now.tv_nsec / 1000000));
}

void formatLogTime(char (&out)[128], const tm& local, int milliseconds) {
    std::memset(out, 0, sizeof(out));
    std::snprintf(out, sizeof(out), "%d-%d-%d %d:%d:%d:%d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, milliseconds);
}

const char* logFileField(const char* sourcePath) {
    const char* slash = std::strrchr(sourcePath, '/');
    return slash ? slash + 1 : sourcePath;
}

LogFunctionName::LogFunctionName(const char* prettyFunction) {
    // Clang spells an unnamed scope "(anonymous namespace)" or "(anonymous
    // class)" where GCC writes "{anonymous}"; the GCC spelling is used, so the
    // name has no space and the parameter list is the first parenthesis.
    static const char kUnnamed[] = "(anonymous ";
    char spelled[1024];
    size_t used = 0;
    for (const char* p = prettyFunction; *p && used + 1 < sizeof(spelled);) {
        const char* close =
            std::strncmp(p, kUnnamed, sizeof(kUnnamed) - 1) == 0 ? std::strchr(p, ')') : nullptr;
        if (close) {
            static const char kGccUnnamed[] = "{anonymous}";
            const size_t n = std::min(sizeof(kGccUnnamed) - 1, sizeof(spelled) - 1 - used);
            std::memcpy(spelled + used, kGccUnnamed, n);
            used += n;
            p = close + 1;
        } else {
            spelled[used++] = *p++;
        }
    }
    spelled[used] = '\0';
    // "unsigned int CMediaRefClock::GetTime(unsigned char)" -> "CMediaRefClock::GetTime":
    // the name is the last word before the parameter list.
    const char* end = std::strchr(spelled, '(');
    if (!end) {
        end = spelled + used;
    }
    const char* begin = end;
    while (begin > spelled && begin[-1] != ' ' && begin[-1] != '*' && begin[-1] != '&') {
        --begin;
    }
    const size_t length = static_cast<size_t>(end - begin);
    std::memcpy(m_name, begin, length);
    m_name[length] = '\0';
}

void resetLogForTesting() {
    CScopedLock guard(g_openLock);
    FILE* stream = g_logStream.exchange(nullptr, std::memory_order_acq_rel);
    if (stream) {
        std::fclose(stream);
    }
}

}  // namespace RIVO_Common_Player
