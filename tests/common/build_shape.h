// Shapes made by tests from literal numbers.
#ifndef TESTS_COMMON_BUILD_SHAPE_H
#define TESTS_COMMON_BUILD_SHAPE_H

#include <vector>

#include "shape.h"

// A shape from createShape with these counts, its tables filled from
// `vertices` (3 floats each) and `corners` (3 vertex numbers each); as many
// as the tables hold. The caller releases it with destroyShape.
Shape buildShape(int numVertices, int numTris, const std::vector<float> &vertices, const std::vector<int> &corners);

// The same with the counts taken from the sizes of the two lists.
Shape buildShape(const std::vector<float> &vertices, const std::vector<int> &corners);

#endif
