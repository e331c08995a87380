// What a reader or writer did, captured whole, so that two implementations
// can be compared: the shape or its absence, every message on both streams,
// and the exact bits of every number.
#ifndef TESTS_COMMON_OUTCOME_H
#define TESTS_COMMON_OUTCOME_H

#include <cstdint>
#include <string>
#include <vector>

#include "shape.h"

struct ReadOutcome {
    bool loaded = false;
    std::string out;  // standard output (createShape's message)
    std::string err;  // standard error, without the sanitizer's allocation warnings
    int numVertices = 0;
    int numTris = 0;
    std::vector<std::uint32_t> coordinateBits;  // 3 per vertex, as stored
    std::vector<int> vertexNumbers;             // 3 per triangle
};

bool operator==(const ReadOutcome &a, const ReadOutcome &b);
inline bool operator!=(const ReadOutcome &a, const ReadOutcome &b) { return !(a == b); }
// A short human-readable account, for failure messages.
std::string describe(const ReadOutcome &outcome);

using ShapeReader = Shape (*)(const char *fileName);
using ShapeWriter = int (*)(Shape shape, const char *fileName);

// Reads `path` with `reader`, capturing its messages; releases the shape.
ReadOutcome readOutcome(ShapeReader reader, const char *path);
// Reads `bytes` (handed over through an in-memory file) with `reader`.
ReadOutcome readBytesOutcome(ShapeReader reader, const std::string &bytes);

struct WriteOutcome {
    int result = -1;
    std::string err;
    std::string bytes;  // what the file holds afterwards
};
// Writes `shape` with `writer` to an in-memory file.
WriteOutcome writeOutcome(ShapeWriter writer, Shape shape);

#endif
