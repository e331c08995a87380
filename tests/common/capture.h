// Runs a piece of code with standard output and standard error captured, so
// that tests can check messages byte for byte and on the right stream.
#ifndef TESTS_CAPTURE_H
#define TESTS_CAPTURE_H

#include <string>

struct Captured {
    std::string out;  // what went to standard output
    std::string err;  // what went to standard error
};

// Points descriptors 1 and 2 at in-memory files (so that it works inside a
// death test, which captures standard error itself, and in a fuzz target),
// flushes the streams on both sides of the body, and restores the
// descriptors.
struct Redirection {
    int savedOut, savedErr;
    int fileOut, fileErr;
};
Redirection beginCapture();
Captured endCapture(Redirection redirection);

// `err` without the warnings AddressSanitizer writes when it refuses an
// allocation (allocator_may_return_null), which are not the program's own.
std::string withoutSanitizerWarnings(const std::string &err);

template <typename Body>
Captured captureOutput(Body body) {
    Redirection redirection = beginCapture();
    body();
    return endCapture(redirection);
}

#endif
