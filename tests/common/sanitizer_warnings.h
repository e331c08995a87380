// The warnings AddressSanitizer writes on standard error, which are not the
// program's own, taken out of captured output.
#ifndef TESTS_COMMON_SANITIZER_WARNINGS_H
#define TESTS_COMMON_SANITIZER_WARNINGS_H

#include <string>

// `err` without the warnings AddressSanitizer writes when it refuses an
// allocation (allocator_may_return_null).
std::string withoutSanitizerWarnings(const std::string &err);

#endif
