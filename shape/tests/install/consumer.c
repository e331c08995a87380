/* A C99 program outside the tree, built against the installed library
   (through pkg-config, or CMake's find_package): reads a BSV2 file, writes
   it again, reads the copy, and acts on the cause of a failure. */
#include <bsv2/shape.h>
#include <errno.h>
#include <stdio.h>

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
    {
        Bsv2Cause cause = BSV2_CAUSE_NONE;
        int systemError = 0;
        Shape missing = readShapeFromFileWithCause("/nonexistent.bsv2", NULL, 0, &cause, &systemError);
        return missing == NULL && cause == BSV2_CAUSE_CANNOT_OPEN && systemError == ENOENT ? 0 : 1;
    }
}
