// Formats every one of the 2^32 float bit patterns with the writer's
// formatFloat and with the C library's "%f", and counts the differences.
// Too slow for the test suite (about twenty minutes on two cores); run it
// by hand after changing the float formatting:
//   build/tests/exhaustive_format_check
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "bsv2_format.h"

using bsv2_internal::formatFloat;
using bsv2_internal::kMaxFloatText;

namespace {

std::atomic<long> differences{0};

void checkRange(std::uint64_t first, std::uint64_t last) {
    char ours[kMaxFloatText + 1], theirs[400];
    for (std::uint64_t i = first; i < last; i++) {
        std::uint32_t bits = static_cast<std::uint32_t>(i);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        *formatFloat(ours, value) = '\0';
        std::snprintf(theirs, sizeof theirs, "%f", value);
        if (std::strcmp(ours, theirs) != 0 && differences++ < 10)
            std::printf("%08x: \"%s\" but \"%%f\" gives \"%s\"\n", bits, ours, theirs);
    }
}

}  // namespace

int main() {
    unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    const std::uint64_t total = std::uint64_t{1} << 32;
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; t++)
        workers.emplace_back(checkRange, total * t / threads, total * (t + 1) / threads);
    for (std::thread &worker : workers) worker.join();
    std::printf("%ld of 4294967296 floats differ\n", differences.load());
    return differences.load() == 0 ? 0 : 1;
}
