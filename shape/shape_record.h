// Making shapes, and checks on their tables, shared by the record, the
// reader and the writer.
#ifndef SHAPE_SHAPE_RECORD_H
#define SHAPE_SHAPE_RECORD_H

#include <cstddef>

#include "shape.h"

namespace bsv2_internal {

// True when every positive count has its table. createShape leaves a table
// null when its allocation fails, and such a shape must never be filled,
// written or drawn.
inline bool hasAllTables(const Shape_Typ &shape) {
    return (shape.numVertices <= 0 || shape.vTable != nullptr) && (shape.numTris <= 0 || shape.tTable != nullptr);
}

// createShape's message when a table or the record cannot be allocated,
// for standard output.
extern const char kAllocationMessage[];

// createShape without the message: the same shape, or null when the record
// itself cannot be allocated. *tableFailed is set when a table of a nonzero
// count could not be allocated (and is then null).
Shape makeShape(int numVertices, int numTris, bool *tableFailed);

// Copies `text` into the caller's `message` buffer of `size` bytes, cut to
// fit and terminated; nothing when size is 0.
void putMessage(char *message, std::size_t size, const char *text);

}  // namespace bsv2_internal

#endif
