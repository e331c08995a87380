// Reading BSV2 files: the reporting reader, and the printing one over it.
#include <cstdio>
#include <cstring>

#include "bsv2_scan.h"
#include "shape.h"
#include "shape_tables.h"

using namespace bsv2_internal;

namespace {

// Where the reader's text goes, as the caller asked for it.
struct Report {
    char *message;
    std::size_t size;
};

Shape refuse(std::FILE *file, Shape shape, const Report &report, const char *message) {
    destroyShape(shape);
    std::fclose(file);
    if (message != nullptr) putMessage(report.message, report.size, message);
    return nullptr;
}

}  // namespace

Shape readShapeFromFileReporting(const char *fileName, char *message, size_t messageSize, int *allocationFailed) {
    Report report = {message, messageSize};
    putMessage(message, messageSize, "");
    if (allocationFailed != nullptr) *allocationFailed = 0;
    int numVertices = -1;
    std::FILE *file = std::fopen(fileName, "r");
    if (file == nullptr) {
        putMessage(message, messageSize, "Read error!\n");
        return nullptr;
    }
    Bsv2Scanner scanner;
    startScan(&scanner, file);

    char magic[5];
    if (scanMagic(&scanner, magic) == kScanEnd) return refuse(file, nullptr, report, "File Read error!!\n");
    if (std::strcmp(magic, "BSV2") != 0) return refuse(file, nullptr, report, "File is not BSV2 format!\n");

    // A vertex count that is not a number leaves the count at -1.
    if (scanInt(&scanner, &numVertices) == kScanEnd) return refuse(file, nullptr, report, "File Read error!!\n");
    if (numVertices <= 0) return refuse(file, nullptr, report, "You can't have less than 0 vertices!");

    int numTris = 0;
    if (scanInt(&scanner, &numTris) != kScanRead) return refuse(file, nullptr, report, "File Read error!!\n");

    bool tableFailed = false;
    Shape shape = makeShape(numVertices, numTris, &tableFailed);
    if (allocationFailed != nullptr && (shape == nullptr || tableFailed)) *allocationFailed = 1;
    // A negative triangle count fails its table but needs none.
    if (shape == nullptr || !hasAllTables(*shape)) return refuse(file, shape, report, nullptr);

    if (scanFloatTable(&scanner, shape->vTable, 3L * numVertices) != kScanRead)
        return refuse(file, shape, report, "Read error in vTable read\n");
    if (numTris > 0) {
        switch (scanTriangleTable(&scanner, shape->tTable, numTris, numVertices)) {
        case kTrianglesRead: break;
        case kTriangleUnreadable: return refuse(file, shape, report, "Read error in tTable read\n");
        case kTriangleOutOfRange: return refuse(file, shape, report, "Vertex number out of range in tTable read\n");
        }
    }
    std::fclose(file);
    return shape;
}

Shape readShapeFromFile(const char *fileName) {
    char message[64];  // longer than any of the reader's texts
    int allocationFailed = 0;
    Shape shape = readShapeFromFileReporting(fileName, message, sizeof message, &allocationFailed);
    if (allocationFailed) {
        std::fputs(kAllocationMessage, stdout);
        // Flushed at once, as createShape does.
        std::fflush(stdout);
    }
    std::fputs(message, stderr);
    return shape;
}
