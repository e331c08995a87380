// What the benchmark's parts share: the clock, medians, giving up, and
// timing one read.
#ifndef BENCH_BENCH_COMMON_H
#define BENCH_BENCH_COMMON_H

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "shape.h"

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

// Seconds `reader` takes to read `path`; a refused file ends the benchmark.
inline double timeRead(Shape (*reader)(const char *), const std::string &path) {
    double start = secondsNow();
    Shape shape = reader(path.c_str());
    double seconds = secondsNow() - start;
    if (shape == nullptr) fail("a reader refused the benchmark file");
    destroyShape(shape);
    return seconds;
}

#endif
