// Shared by the fuzz targets: feeding bytes to the file reader through an
// in-memory file, and checking that a shape the reader returns is whole.
#ifndef FUZZ_FUZZ_SUPPORT_H
#define FUZZ_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "shape.h"

// An anonymous in-memory file holding `size` bytes of `data`, and a path
// that opens it from the start. Close `fd` when done.
struct MemoryFile {
    int fd = -1;
    std::string path;
};
MemoryFile makeMemoryFile(const char *name, const std::uint8_t *data, std::size_t size);
void closeMemoryFile(MemoryFile &file);

// Stops the process with a message unless `condition` holds; libFuzzer then
// keeps the input that caused it.
void require(bool condition, const char *what);

// Checks what every shape from the reader must be, given the file it came
// from: the counts the file holds, a table for every positive count, and
// every vertex number in range.
void requireConsistentShape(Shape shape, const std::uint8_t *data, std::size_t size);

#endif
