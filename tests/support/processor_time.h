// Processor time of the whole process, every thread included, in seconds:
// what a paused player or a render costs beyond the wall clock. The C
// library's clock() counts wall time on Windows, so the process times are
// asked there.
#pragma once

#if defined(_WIN32)
#include <windows.h>

#include <cstdint>
#else
#include <sys/resource.h>

#include <ctime>
#endif

inline double ProcessorSeconds() {
#if defined(_WIN32)
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0.0;
    auto seconds = [](const FILETIME& t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
#else
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
#endif
}

// Processor time of this process's ended and reaped children (an
// instrument's host process, once its module is gone). Not known on
// Windows, where it gives 0.
inline double ChildrenProcessorSeconds() {
#if defined(_WIN32)
    return 0.0;
#else
    rusage usage{};
    if (getrusage(RUSAGE_CHILDREN, &usage) != 0) return 0.0;
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
#endif
}
