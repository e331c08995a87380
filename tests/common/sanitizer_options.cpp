// Sanitizer settings for the test binaries: a refused allocation returns
// null instead of ending the process, and anything above 1 GiB is refused,
// so that tests can reach the code that handles a failed allocation.
extern "C" const char *__asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=1024:detect_leaks=1";
}
