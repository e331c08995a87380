// What the benchmark's parts share: the clock, medians, and giving up.
#ifndef BENCH_BENCH_COMMON_H
#define BENCH_BENCH_COMMON_H

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

// Seconds on a clock that only goes forward.
inline double secondsNow() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Ends the benchmark with `what` on standard error.
[[noreturn]] inline void fail(const char *what) {
    std::fprintf(stderr, "bench_bsv2: %s\n", what);
    std::exit(1);
}

#endif
