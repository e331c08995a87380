/* A C99 program outside the tree, built against the installed library
   through pkg-config: reads a BSV2 file, writes it again, reads the copy. */
#include <bsv2/shape.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char **argv) {
    char message[128];
    int allocationFailed = 0;
    Shape shape, copy;
    if (argc != 3) return 2;
    printf("bsv2 %s\n", BSV2_VERSION_STRING);
    shape = readShapeFromFileReporting(argv[1], message, sizeof message, &allocationFailed);
    if (shape == NULL) {
        fprintf(stderr, "cannot read %s: %s", argv[1], message);
        return 1;
    }
    if (writeShapeToFile(shape, argv[2]) != 0) return 1;
    copy = readShapeFromFile(argv[2]);
    if (copy == NULL || copy->numVertices != shape->numVertices || numTriangles(copy) != numTriangles(shape)) return 1;
    printf("%d vertices, %d triangles\n", copy->numVertices, numTriangles(copy));
    destroyShape(copy);
    destroyShape(shape);
    return readShapeFromFileReporting("/nonexistent.bsv2", message, sizeof message, NULL) == NULL &&
                   strcmp(message, "Read error!\n") == 0
               ? 0
               : 1;
}
