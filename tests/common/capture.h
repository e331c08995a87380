// Output capture for the tests, and the sanitizer noise to take out of it.
#ifndef TESTS_COMMON_CAPTURE_H
#define TESTS_COMMON_CAPTURE_H

#include <string>

#include "stream_capture.h"

// `err` without the warnings AddressSanitizer writes when it refuses an
// allocation (allocator_may_return_null), which are not the program's own.
std::string withoutSanitizerWarnings(const std::string &err);

#endif
