// bsv2-info: reads BSV2 files and says on standard output what each holds,
// or that it was refused (the reader's own message says why, on standard
// error).
//   bsv2-info FILE...
//   bsv2-info --version
// Exit status: 0 when every file loaded, 1 when any was refused, 2 for a
// usage error.
#include <cstdio>
#include <cstring>

#include "shape.h"

int main(int argc, char **argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("bsv2-info %s\n", BSV2_VERSION_STRING);
        return 0;
    }
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(argc < 2 ? stderr : stdout, "Usage: %s FILE...\n", argv[0]);
        return argc < 2 ? 2 : 0;
    }
    int status = 0;
    for (int i = 1; i < argc; i++) {
        Shape shape = readShapeFromFile(argv[i]);
        if (shape == nullptr) {
            std::printf("%s: refused\n", argv[i]);
            status = 1;
            continue;
        }
        std::printf("%s: %d vertices, %d triangles\n", argv[i], shape->numVertices, numTriangles(shape));
        destroyShape(shape);
    }
    return status;
}
