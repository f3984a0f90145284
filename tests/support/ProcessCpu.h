#pragma once

#include <time.h>

// Processor time of the whole process so far (all threads, user + system),
// in milliseconds.
inline double processCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}
