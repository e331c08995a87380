// The shape record: making, releasing and querying it.
#include "shape.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

static_assert(sizeof(int) == 4 && sizeof(float) == 4,
              "BSV2 tables hold 32-bit integers and floats");

namespace {

const std::size_t kBytesPerEntry = 3 * 4;  // three 4-byte scalars per vertex or triangle

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
    void *table = std::malloc(static_cast<std::size_t>(count) * kBytesPerEntry);
    if (table == nullptr) *failed = true;
    return table;
}

void reportAllocationFailure() {
    std::fputs("ahhh\n!", stdout);
    // Flushed at once: the text has no newline, and a viewer that is killed
    // rather than exited would otherwise never show it.
    std::fflush(stdout);
}

}  // namespace

Shape createShape(int numVertices, int numTris) {
    Shape shape = static_cast<Shape>(std::malloc(sizeof(Shape_Typ)));
    if (shape == nullptr) {
        reportAllocationFailure();
        return nullptr;
    }
    bool failed = false;
    shape->vTable = static_cast<float *>(allocateTable(numVertices, &failed));
    shape->tTable = static_cast<int *>(allocateTable(numTris, &failed));
    if (failed) reportAllocationFailure();
    shape->numVertices = numVertices;
    shape->numTris = numTris;
    return shape;
}

void destroyShape(Shape shape) {
    if (shape == nullptr) return;
    std::free(shape->vTable);
    std::free(shape->tTable);
    std::free(shape);
}

int numTriangles(Shape shape) { return shape->numTris; }
