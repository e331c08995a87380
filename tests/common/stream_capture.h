// Runs a piece of code with standard output and standard error captured:
// the tests and fuzz targets check messages byte for byte with it.
#ifndef TESTS_COMMON_STREAM_CAPTURE_H
#define TESTS_COMMON_STREAM_CAPTURE_H

#include <string>

struct Captured {
    std::string out;  // what went to standard output
    std::string err;  // what went to standard error
};

// Points descriptors 1 and 2 at in-memory files (so that it also works
// inside a death test, which captures standard error itself, and in a fuzz
// target), flushing the streams on both sides; endCapture restores them.
// The process stops if no in-memory file can be made.
struct Redirection {
    int savedOut, savedErr;
    int fileOut, fileErr;
};
Redirection beginCapture();
Captured endCapture(Redirection redirection);

template <typename Body>
Captured captureOutput(Body body) {
    Redirection redirection = beginCapture();
    body();
    return endCapture(redirection);
}

#endif
