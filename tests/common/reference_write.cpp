// The reference writer: BSV2 written with the C library's formatted output,
// "%f %f %f\n" and "%d %d %d\n". The library's own writer must write the
// same bytes.
#include <cstdio>

#include "reference_bsv2.h"
#include "shape_record.h"

int referenceWriteShapeToFile(Shape shape, const char *fileName) {
    if (shape == nullptr || fileName == nullptr || !bsv2_internal::hasAllTables(*shape)) return 1;

    std::FILE *file = std::fopen(fileName, "w");
    if (file == nullptr) {
        std::fprintf(stderr, "Unable to open %s for writing.\n", fileName);
        return 2;
    }

    // Output errors are sticky in the stream, so one check after the last
    // write (and the flush done by fclose) catches any of them.
    std::fprintf(file, "BSV2\n%d\n%d\n", shape->numVertices, shape->numTris);
    for (int k = 0; k < shape->numVertices; k++) {
        const float *vertex = shape->vTable + 3 * static_cast<long>(k);
        std::fprintf(file, "%f %f %f\n", vertex[0], vertex[1], vertex[2]);
    }
    for (int j = 0; j < numTriangles(shape); j++) {
        const int *corners = shape->tTable + 3 * static_cast<long>(j);
        std::fprintf(file, "%d %d %d\n", corners[0], corners[1], corners[2]);
    }
    bool failed = std::ferror(file) != 0;
    if (std::fclose(file) != 0) failed = true;
    if (failed) {
        std::fprintf(stderr, "Unable to write %s.\n", fileName);
        return 3;
    }
    return 0;
}
