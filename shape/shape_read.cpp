// Reading BSV2 files: the reporting reader, and the printing one over it.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bsv2_scan.h"
#include "shape.h"
#include "shape_record.h"

using namespace bsv2_internal;

namespace {

// Where the reader's outcome goes, as the caller asked for it.
struct Report {
    char *message;
    std::size_t size;
    Bsv2Cause cause;
    int systemError;
};

Shape refuse(std::FILE *file, const Bsv2Scanner &scanner, Shape shape, Report *report, Bsv2Cause cause,
             const char *message) {
    destroyShape(shape);
    std::fclose(file);
    if (message != nullptr) putMessage(report->message, report->size, message);
    // A failed read explains whatever refusal followed it.
    report->cause = scanner.readError != 0 ? BSV2_CAUSE_CANNOT_READ : cause;
    report->systemError = scanner.readError;
    return nullptr;
}

// The reader with every outcome: the message, the cause, and whether
// createShape's text would be printed.
Shape readShape(const char *fileName, Report *report, bool *allocationFailed, unsigned char *buffer,
                std::size_t capacity) {
    *allocationFailed = false;
    putMessage(report->message, report->size, "");
    report->cause = BSV2_CAUSE_NONE;
    report->systemError = 0;
    int numVertices = -1;
    std::FILE *file = std::fopen(fileName, "r");
    if (file == nullptr) {
        putMessage(report->message, report->size, "Read error!\n");
        report->cause = BSV2_CAUSE_CANNOT_OPEN;
        report->systemError = errno;
        return nullptr;
    }
    Bsv2Scanner scanner;
    startScan(&scanner, file, buffer, capacity);

    char magic[5];
    if (scanMagic(&scanner, magic) == kScanEnd)
        return refuse(file, scanner, nullptr, report, BSV2_CAUSE_ENDS_EARLY, "File Read error!!\n");
    if (std::strcmp(magic, "BSV2") != 0)
        return refuse(file, scanner, nullptr, report, BSV2_CAUSE_NOT_BSV2, "File is not BSV2 format!\n");

    // A vertex count that is not a number leaves the count at -1.
    if (scanInt(&scanner, &numVertices) == kScanEnd)
        return refuse(file, scanner, nullptr, report, BSV2_CAUSE_ENDS_EARLY, "File Read error!!\n");
    if (numVertices <= 0)
        return refuse(file, scanner, nullptr, report, BSV2_CAUSE_BAD_VERTEX_COUNT,
                      "You can't have less than 0 vertices!");

    int numTris = 0;
    if (scanInt(&scanner, &numTris) != kScanRead)
        return refuse(file, scanner, nullptr, report, BSV2_CAUSE_BAD_TRIANGLE_COUNT, "File Read error!!\n");

    Shape shape = makeShape(numVertices, numTris, allocationFailed);
    if (shape == nullptr) *allocationFailed = true;
    // A negative triangle count fails its table but needs none.
    if (shape == nullptr || !hasAllTables(*shape))
        return refuse(file, scanner, shape, report, BSV2_CAUSE_NO_MEMORY, nullptr);

    if (scanFloatTable(&scanner, shape->vTable, 3L * numVertices) != kScanRead)
        return refuse(file, scanner, shape, report, BSV2_CAUSE_BAD_VERTEX, "Read error in vTable read\n");
    if (numTris > 0) {
        switch (scanTriangleTable(&scanner, shape->tTable, numTris, numVertices)) {
            case kTrianglesRead:
                break;
            case kTriangleUnreadable:
                return refuse(file, scanner, shape, report, BSV2_CAUSE_BAD_TRIANGLE, "Read error in tTable read\n");
            case kTriangleOutOfRange:
                return refuse(file, scanner, shape, report, BSV2_CAUSE_VERTEX_OUT_OF_RANGE,
                              "Vertex number out of range in tTable read\n");
        }
    }
    std::fclose(file);
    return shape;
}

// readShape through a scan buffer on the heap, or a small one on this
// stack should the heap have no room.
Shape readShapeBuffered(const char *fileName, Report *report, bool *allocationFailed) {
    unsigned char *buffer = static_cast<unsigned char *>(std::malloc(kScanBufferSize + 1));
    if (buffer != nullptr) {
        Shape shape = readShape(fileName, report, allocationFailed, buffer, kScanBufferSize);
        std::free(buffer);
        return shape;
    }
    unsigned char small[kSmallScanBufferSize + 1];
    return readShape(fileName, report, allocationFailed, small, kSmallScanBufferSize);
}

}  // namespace

Shape readShapeFromFileWithCause(const char *fileName, char *message, size_t messageSize, Bsv2Cause *cause,
                                 int *systemError) {
    Report report = {message, messageSize, BSV2_CAUSE_NONE, 0};
    bool allocationFailed = false;
    Shape shape = readShapeBuffered(fileName, &report, &allocationFailed);
    if (cause != nullptr) *cause = report.cause;
    if (systemError != nullptr) *systemError = report.systemError;
    return shape;
}

Shape readShapeFromFileReporting(const char *fileName, char *message, size_t messageSize, int *allocationFailed) {
    Report report = {message, messageSize, BSV2_CAUSE_NONE, 0};
    bool tableFailed = false;
    Shape shape = readShapeBuffered(fileName, &report, &tableFailed);
    if (allocationFailed != nullptr) *allocationFailed = tableFailed ? 1 : 0;
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
