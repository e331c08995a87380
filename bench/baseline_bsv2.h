// The benchmark's baseline: what a user would write without the library,
// the format's own patterns through fscanf and fprintf, and nothing more
// (no range checks, no messages).
#ifndef BENCH_BASELINE_BSV2_H
#define BENCH_BASELINE_BSV2_H

#include "shape.h"

// Reads with "%4[^\n]\n", "%d\n" twice, then "%f %f %f\n" per vertex and
// "%d %d %d\n" per triangle. Null when the file cannot be opened or a
// pattern does not match; the shape is the caller's otherwise.
Shape baselineReadShape(const char *fileName);

// Writes with "BSV2\n", "%d\n" twice, "%f %f %f\n" per vertex and
// "%d %d %d\n" per triangle. 0 on success, 1 when writing fails.
int baselineWriteShape(Shape shape, const char *fileName);

#endif
