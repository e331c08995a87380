// Checks on a shape's tables shared by the reader and the writer.
#ifndef SHAPE_SHAPE_TABLES_H
#define SHAPE_SHAPE_TABLES_H

#include "shape.h"

// True when every positive count has its table. createShape leaves a table
// null when its allocation fails, and such a shape must never be filled,
// written or drawn.
inline bool hasAllTables(const Shape_Typ &shape) {
    return (shape.numVertices <= 0 || shape.vTable != nullptr) &&
           (shape.numTris <= 0 || shape.tTable != nullptr);
}

#endif
