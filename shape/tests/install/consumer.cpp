// A C++ program outside the tree, built against the installed library
// through find_package(bsv2): reads a BSV2 file, writes it again, reads the
// copy.
#include <bsv2/shape.h>

#include <cstdio>

int main(int argc, char **argv) {
    if (argc != 3) return 2;
    Shape shape = readShapeFromFile(argv[1]);
    if (shape == nullptr || writeShapeToFile(shape, argv[2]) != 0) return 1;
    Shape copy = readShapeFromFile(argv[2]);
    if (copy == nullptr || copy->numVertices != shape->numVertices) return 1;
    std::printf("bsv2 %s: %d vertices, %d triangles\n", BSV2_VERSION_STRING, copy->numVertices, numTriangles(copy));
    destroyShape(copy);
    destroyShape(shape);
    return 0;
}
