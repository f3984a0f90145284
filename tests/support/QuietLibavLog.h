#pragma once

extern "C" {
#include <libavutil/log.h>
}

// Silences libavcodec's log for its lifetime, for tests that feed damaged
// data on purpose and would otherwise fill the output with its complaints.
class QuietLibavLog {
public:
    QuietLibavLog() : m_previousLevel(av_log_get_level()) { av_log_set_level(AV_LOG_QUIET); }
    ~QuietLibavLog() { av_log_set_level(m_previousLevel); }

    QuietLibavLog(const QuietLibavLog&) = delete;
    QuietLibavLog& operator=(const QuietLibavLog&) = delete;

private:
    int m_previousLevel;
};
