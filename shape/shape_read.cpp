// Reading BSV2 files.
#include <cstdio>
#include <cstring>

#include "bsv2_scan.h"
#include "shape.h"
#include "shape_tables.h"

namespace {

Shape refuse(std::FILE *file, Shape shape, const char *message) {
    destroyShape(shape);
    std::fclose(file);
    if (message != nullptr) std::fputs(message, stderr);
    return nullptr;
}

}  // namespace

Shape readShapeFromFile(const char *fileName) {
    int numVertices = -1;
    std::FILE *file = std::fopen(fileName, "r");
    if (file == nullptr) {
        std::fputs("Read error!\n", stderr);
        return nullptr;
    }
    Bsv2Scanner scanner;
    startScan(&scanner, file);

    char magic[5];
    if (scanMagic(&scanner, magic) == kScanEnd) return refuse(file, nullptr, "File Read error!!\n");
    if (std::strcmp(magic, "BSV2") != 0) return refuse(file, nullptr, "File is not BSV2 format!\n");

    // A vertex count that is not a number leaves the count at -1.
    if (scanInt(&scanner, &numVertices) == kScanEnd) return refuse(file, nullptr, "File Read error!!\n");
    if (numVertices <= 0) return refuse(file, nullptr, "You can't have less than 0 vertices!");

    int numTris = 0;
    if (scanInt(&scanner, &numTris) != kScanRead) return refuse(file, nullptr, "File Read error!!\n");

    Shape shape = createShape(numVertices, numTris);
    // createShape has already said why when a table is missing.
    if (shape == nullptr || !hasAllTables(*shape)) return refuse(file, shape, nullptr);

    if (scanFloatTable(&scanner, shape->vTable, 3L * numVertices) != kScanRead)
        return refuse(file, shape, "Read error in vTable read\n");
    if (numTris > 0) {
        switch (scanTriangleTable(&scanner, shape->tTable, numTris, numVertices)) {
        case kTrianglesRead: break;
        case kTriangleUnreadable: return refuse(file, shape, "Read error in tTable read\n");
        case kTriangleOutOfRange: return refuse(file, shape, "Vertex number out of range in tTable read\n");
        }
    }
    std::fclose(file);
    return shape;
}
