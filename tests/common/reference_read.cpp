// The reference reader: BSV2 read with the C library's formatted input, the
// patterns the format is defined by. The library's own reader must give the
// same result on every input; the tests and fuzzers compare the two.
#include <climits>
#include <cstdio>
#include <cstring>

#include "reference_bsv2.h"
#include "shape_record.h"

namespace {

// Reads one optionally signed decimal integer, skipping whitespace before it
// and after it. %d would silently wrap a value beyond 32 bits, so the number
// is read as a long and anything outside int's range counts as no number.
// Returns 1 for a number, 0 for something else, EOF when the input ends (or
// cannot be read) before the number.
int readInt(std::FILE *file, int *value) {
    long wide = 0;
    int got = std::fscanf(file, "%ld\n", &wide);
    if (got != 1) return got;
    if (wide < INT_MIN || wide > INT_MAX) return 0;
    *value = static_cast<int>(wide);
    return 1;
}

Shape refuse(std::FILE *file, Shape shape, const char *message) {
    destroyShape(shape);
    std::fclose(file);
    if (message != nullptr) std::fputs(message, stderr);
    return nullptr;
}

}  // namespace

Shape referenceReadShapeFromFile(const char *fileName) {
    int numVertices = -1;
    std::FILE *file = std::fopen(fileName, "r");
    if (file == nullptr) {
        std::fputs("Read error!\n", stderr);
        return nullptr;
    }

    char inputString[5] = "";
    if (std::fscanf(file, "%4[^\n]\n", inputString) == EOF) return refuse(file, nullptr, "File Read error!!\n");
    if (std::strcmp(inputString, "BSV2") != 0) return refuse(file, nullptr, "File is not BSV2 format!\n");

    if (readInt(file, &numVertices) == EOF) return refuse(file, nullptr, "File Read error!!\n");
    if (numVertices <= 0) return refuse(file, nullptr, "You can't have less than 0 vertices!");

    int numTris = 0;
    if (readInt(file, &numTris) != 1) return refuse(file, nullptr, "File Read error!!\n");

    Shape shape = createShape(numVertices, numTris);
    // createShape has already said why when a table is missing.
    if (shape == nullptr || !bsv2_internal::hasAllTables(*shape)) return refuse(file, shape, nullptr);

    for (int k = 0; k < numVertices; k++) {
        float *vertex = shape->vTable + 3 * static_cast<long>(k);
        if (std::fscanf(file, "%f %f %f\n", &vertex[0], &vertex[1], &vertex[2]) != 3)
            return refuse(file, shape, "Read error in vTable read\n");
    }
    for (int j = 0; j < numTris; j++) {
        int *corners = shape->tTable + 3 * static_cast<long>(j);
        for (int c = 0; c < 3; c++) {
            if (readInt(file, &corners[c]) != 1) return refuse(file, shape, "Read error in tTable read\n");
        }
        for (int c = 0; c < 3; c++) {
            if (corners[c] < 0 || corners[c] >= numVertices)
                return refuse(file, shape, "Vertex number out of range in tTable read\n");
        }
    }
    std::fclose(file);
    return shape;
}
