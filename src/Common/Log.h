#pragma once

#include <ctime>

namespace RIVO_Common_Player {

// Path of the engine's log file, relative to the working directory on Linux:
// without a directory named "D:" there, logging is a silent no-op.
constexpr const char* kLogFilePath = "D:/rivolog_player.log";

// Writes one printf-style entry to the log file, followed by a line feed, with
// a single fwrite and fflush. The file is created (emptied) by the first
// entry of the process and then stays open; while it cannot be opened every
// entry is dropped and the next one tries again. An entry is cut at 1023
// characters.
void writeLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Opens the file as writeLog does; false while it cannot be opened, when a
// logging statement need not format its entry (it would be dropped).
bool logEnabled();

// The current local time as "%d-%d-%d %d:%d:%d:%d" (year, month, day, hour,
// minute, second, millisecond, no leading zeros) into a 128-byte buffer.
void formatLogTime(char (&out)[128]);
// The same for a given local time and millisecond.
void formatLogTime(char (&out)[128], const tm& local, int milliseconds);

// The text after the last '/' of a source path, or the whole path.
const char* logFileField(const char* sourcePath);

// "Class::operation" taken from a compiler's __PRETTY_FUNCTION__ text.
class LogFunctionName {
public:
    explicit LogFunctionName(const char* prettyFunction);
    const char* c_str() const { return m_name; }

private:
    char m_name[256];
};

// Closes the log file so that the next entry opens it afresh. Tests use it to
// log into a fresh working directory; the engine never calls it.
void resetLogForTesting();

}  // namespace RIVO_Common_Player

// One log entry: "LOGInfo: time:<time>  <file>  <Class::operation>  <line>    <message>\n".
// The message must be a string literal.
#define RIVO_LOG(message, ...)                                                            \
    do {                                                                                  \
        if (!::RIVO_Common_Player::logEnabled()) {                                        \
            break;                                                                        \
        }                                                                                 \
        char rivoLogTime_[128];                                                           \
        ::RIVO_Common_Player::formatLogTime(rivoLogTime_);                                \
        ::RIVO_Common_Player::writeLog(                                                   \
            "LOGInfo: time:%s  %s  %s  %d    " message "\n", rivoLogTime_,                \
            ::RIVO_Common_Player::logFileField(__FILE__),                                 \
            ::RIVO_Common_Player::LogFunctionName(__PRETTY_FUNCTION__).c_str(), __LINE__, \
            ##__VA_ARGS__);                                                               \
    } while (0)
