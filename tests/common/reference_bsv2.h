// The reference BSV2 reader and writer, built on the C library's formatted
// input and output. They take and give exactly what readShapeFromFile and
// writeShapeToFile do (same results, messages and streams), only slower, and
// they follow the process's locale as the C library does.
#ifndef TESTS_COMMON_REFERENCE_BSV2_H
#define TESTS_COMMON_REFERENCE_BSV2_H

#include "shape.h"

Shape referenceReadShapeFromFile(const char *fileName);
int referenceWriteShapeToFile(Shape shape, const char *fileName);

#endif
