// The two clocks the benchmarks and the recorder read: CPU time, every
// thread counted, and the wall clock, which the show also times its frames
// and its blips with.
#pragma once

#include <sys/resource.h>
#include <time.h>

// The user and system time in a resource usage, in seconds.
inline double cpu_of(const rusage &u) {
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// This process's CPU time so far.
inline double cpu_seconds() {
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return cpu_of(u);
}

inline double wall_seconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// The same clock in whole microseconds.
inline long wall_us() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000L + t.tv_nsec / 1000;
}
