// The clocks of the benchmarks: wall seconds since a start, and the CPU seconds of the process.
#pragma once

#include <chrono>
#include <ctime>

inline double Seconds(std::chrono::steady_clock::time_point Start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
}

// CPU seconds of the process so far (user and system), steadier than the wall clock on a disk
// shared with other work.
inline double CpuSeconds() {
    timespec T{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &T);
    return static_cast<double>(T.tv_sec) + static_cast<double>(T.tv_nsec) / 1e9;
}
