// Fuzz target: a shape the reader returns, written and read back, keeps its
// counts and vertex numbers, and each coordinate becomes the float nearest
// to the six-decimal text written for it.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz_support.h"

namespace {

void requireSameShapeAfterWriting(Shape original, Shape reread) {
    require(reread != nullptr, "written shape reads back");
    require(reread->numVertices == original->numVertices, "vertex count kept");
    require(reread->numTris == original->numTris, "triangle count kept");
    long numCorners = 3L * (original->numTris > 0 ? original->numTris : 0);
    require(numCorners == 0 || std::memcmp(reread->tTable, original->tTable, numCorners * sizeof(int)) == 0,
            "vertex numbers kept");
    for (long i = 0; i < 3L * original->numVertices; i++) {
        char text[400];
        std::snprintf(text, sizeof text, "%f", original->vTable[i]);
        float expected = std::strtof(text, nullptr);
        float got = reread->vTable[i];
        require(std::isnan(expected) ? std::isnan(got) && std::signbit(got) == std::signbit(expected)
                                     : std::memcmp(&got, &expected, sizeof got) == 0,
                "coordinate is the float nearest to its six-decimal text");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    MemoryFile input = makeMemoryFile("bsv2-in", data, size);
    Shape original = readShapeFromFile(input.path.c_str());
    closeMemoryFile(input);
    if (original == nullptr) return 0;

    MemoryFile output = makeMemoryFile("bsv2-out", nullptr, 0);
    require(writeShapeToFile(original, output.path.c_str()) == 0, "shape from the reader is written");
    Shape reread = readShapeFromFile(output.path.c_str());
    requireSameShapeAfterWriting(original, reread);
    destroyShape(reread);
    destroyShape(original);
    closeMemoryFile(output);
    return 0;
}
