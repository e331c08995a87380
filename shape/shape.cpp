// The shape record: making, releasing and querying it.
#include "shape.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shape_record.h"

static_assert(sizeof(int) == 4 && sizeof(float) == 4, "BSV2 tables hold 32-bit integers and floats");

namespace {

const std::size_t kBytesPerEntry = 3 * 4;  // three 4-byte scalars per vertex or triangle

// Tables this large are filled at once by the reader: 2 MiB pages make the
// kernel fault them in 512 times less often.
const std::size_t kHugeTableBytes = std::size_t{8} << 20;

void preferHugePages(void *table, std::size_t bytes) {
    const std::uintptr_t kPage = 4096;
    std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(table) + kPage - 1) & ~(kPage - 1);
    std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(table) + bytes) & ~(kPage - 1);
    // Only advice: where the kernel has no huge pages, nothing changes.
    if (end > start) madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
}

// Allocates count * 12 bytes with malloc, so that the pages stay untouched
// (and cost no memory) until the caller fills them. Null for a count of 0;
// also null, with *failed set, when the count is negative, the size does not
// fit in size_t, or the allocator refuses.
void *allocateTable(int count, bool *failed) {
    if (count == 0) return nullptr;
    if (count < 0 || static_cast<std::uintmax_t>(count) > SIZE_MAX / kBytesPerEntry) {
        *failed = true;
        return nullptr;
    }
    std::size_t bytes = static_cast<std::size_t>(count) * kBytesPerEntry;
    void *table = std::malloc(bytes);
    if (table == nullptr)
        *failed = true;
    else if (bytes >= kHugeTableBytes)
        preferHugePages(table, bytes);
    return table;
}

}  // namespace

namespace bsv2_internal {

const char kAllocationMessage[] = "ahhh\n!";

Shape makeShape(int numVertices, int numTris, bool *tableFailed) {
    Shape shape = static_cast<Shape>(std::malloc(sizeof(Shape_Typ)));
    if (shape == nullptr) return nullptr;
    shape->vTable = static_cast<float *>(allocateTable(numVertices, tableFailed));
    shape->tTable = static_cast<int *>(allocateTable(numTris, tableFailed));
    shape->numVertices = numVertices;
    shape->numTris = numTris;
    return shape;
}

void putMessage(char *message, std::size_t size, const char *text) {
    if (message == nullptr || size == 0) return;
    std::size_t length = std::min(std::strlen(text), size - 1);
    std::memcpy(message, text, length);
    message[length] = '\0';
}

}  // namespace bsv2_internal

Shape createShape(int numVertices, int numTris) {
    bool tableFailed = false;
    Shape shape = bsv2_internal::makeShape(numVertices, numTris, &tableFailed);
    if (shape == nullptr || tableFailed) {
        std::fputs(bsv2_internal::kAllocationMessage, stdout);
        // Flushed at once: the text has no newline, and a viewer that is
        // killed rather than exited would otherwise never show it.
        std::fflush(stdout);
    }
    return shape;
}

void destroyShape(Shape shape) {
    if (shape == nullptr) return;
    std::free(shape->vTable);
    std::free(shape->tTable);
    std::free(shape);
}

int numTriangles(Shape shape) { return shape->numTris; }
