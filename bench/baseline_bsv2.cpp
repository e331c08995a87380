#include "baseline_bsv2.h"

#include <cstdio>

Shape baselineReadShape(const char *fileName) {
    std::FILE *file = std::fopen(fileName, "r");
    if (file == nullptr) return nullptr;
    char magic[5] = "";
    int numVertices = 0, numTris = 0;
    Shape shape = nullptr;
    if (std::fscanf(file, "%4[^\n]\n", magic) == 1 && std::fscanf(file, "%d\n", &numVertices) == 1 &&
        std::fscanf(file, "%d\n", &numTris) == 1 && numVertices > 0 && numTris >= 0) {
        shape = createShape(numVertices, numTris);
        for (long k = 0; shape != nullptr && k < numVertices; k++) {
            float *v = shape->vTable + 3 * k;
            if (std::fscanf(file, "%f %f %f\n", v, v + 1, v + 2) != 3) {
                destroyShape(shape);
                shape = nullptr;
            }
        }
        for (long j = 0; shape != nullptr && j < numTris; j++) {
            int *t = shape->tTable + 3 * j;
            if (std::fscanf(file, "%d %d %d\n", t, t + 1, t + 2) != 3) {
                destroyShape(shape);
                shape = nullptr;
            }
        }
    }
    std::fclose(file);
    return shape;
}

int baselineWriteShape(Shape shape, const char *fileName) {
    std::FILE *file = std::fopen(fileName, "w");
    if (file == nullptr) return 1;
    std::fprintf(file, "BSV2\n%d\n%d\n", shape->numVertices, shape->numTris);
    for (long k = 0; k < shape->numVertices; k++) {
        const float *v = shape->vTable + 3 * k;
        std::fprintf(file, "%f %f %f\n", v[0], v[1], v[2]);
    }
    for (long j = 0; j < numTriangles(shape); j++) {
        const int *t = shape->tTable + 3 * j;
        std::fprintf(file, "%d %d %d\n", t[0], t[1], t[2]);
    }
    bool failed = std::ferror(file) != 0;
    return std::fclose(file) != 0 || failed ? 1 : 0;
}
