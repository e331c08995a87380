// Running test code where large allocations fail, to exercise the paths
// taken when the heap refuses a table.
#ifndef TESTS_COMMON_MEMORY_LIMIT_H
#define TESTS_COMMON_MEMORY_LIMIT_H

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#define BSV2_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BSV2_UNDER_ASAN 1
#endif
#endif

// Call in a child process only (for instance inside EXPECT_EXIT): caps the
// address space at 1 GiB so that any allocation near that size fails.
// Under AddressSanitizer the cap would break the sanitizer's own mappings;
// there the same 1 GiB limit comes from the test binary's sanitizer options
// (max_allocation_size_mb with allocator_may_return_null).
inline void limitHeapToOneGiB() {
#ifndef BSV2_UNDER_ASAN
    struct rlimit limit = {1UL << 30, 1UL << 30};
    setrlimit(RLIMIT_AS, &limit);
#endif
}

// Runs `body` in a child process whose heap is capped at 1 GiB. The body
// reports what differed on standard error (CHILD_CHECK) and the child exits
// 0 only if nothing did.
template <typename Body>
void expectInLimitedChild(Body body) {
    EXPECT_EXIT(
        {
            limitHeapToOneGiB();
            bool ok = true;
            body(&ok);
            std::fflush(nullptr);
            std::_Exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

#define CHILD_CHECK(ok, condition)                                        \
    do {                                                                  \
        if (!(condition)) {                                               \
            std::fprintf(stderr, "child check failed: %s\n", #condition); \
            *(ok) = false;                                                \
        }                                                                 \
    } while (0)

#endif
