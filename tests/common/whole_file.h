// The whole content of a file, NUL bytes included: for tests, fuzz targets
// and the benchmark alike.
#ifndef TESTS_COMMON_WHOLE_FILE_H
#define TESTS_COMMON_WHOLE_FILE_H

#include <string>

// The file's bytes; "" when it cannot be read (which a comparison with what
// was expected then shows).
std::string readWholeFile(const std::string &path);

#endif
