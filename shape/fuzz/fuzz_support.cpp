#include "fuzz_support.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// A huge count in a tiny file must exercise the failed-allocation path
// rather than be reported as running out of memory.
extern "C" const char *__asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=1024:detect_leaks=1";
}

MemoryFile makeMemoryFile(const char *name, const std::uint8_t *data, std::size_t size) {
    MemoryFile file;
    file.fd = memfd_create(name, 0);
    require(file.fd >= 0, "memfd_create");
    std::size_t written = 0;
    while (written < size) {
        ssize_t got = write(file.fd, data + written, size - written);
        require(got > 0, "write to memory file");
        written += static_cast<std::size_t>(got);
    }
    file.path = "/proc/self/fd/" + std::to_string(file.fd);
    return file;
}

void closeMemoryFile(MemoryFile &file) {
    if (file.fd >= 0) close(file.fd);
    file.fd = -1;
}

void require(bool condition, const char *what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

void requireConsistentShape(Shape shape, const std::uint8_t *data, std::size_t size) {
    // The two counts as the file states them, read by the C library.
    std::string text(reinterpret_cast<const char *>(data), size);
    long numVertices = 0, numTris = 0;
    require(std::sscanf(text.c_str(), "%*4[^\n]%ld%ld", &numVertices, &numTris) == 2, "counts are in the file");
    require(shape->numVertices == numVertices, "vertex count as read");
    require(shape->numTris == numTris, "triangle count as read");
    require(shape->numVertices >= 1 && shape->vTable != nullptr, "vertex table present");
    require(shape->numTris <= 0 || shape->tTable != nullptr, "triangle table present");
    require(shape->numTris >= 0 || shape->tTable == nullptr, "no triangle table for a negative count");
    for (long i = 0; i < 3L * (shape->numTris > 0 ? shape->numTris : 0); i++) {
        require(shape->tTable[i] >= 0 && shape->tTable[i] < shape->numVertices, "vertex number in range");
    }
}
