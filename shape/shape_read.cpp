// Reading BSV2 files and BSV2 text in memory: one reader for both, the
// reporting functions over it, and the printing one over those.
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

Shape refuse(const Bsv2Scanner &scanner, Shape shape, Report *report, Bsv2Cause cause, const char *message) {
    destroyShape(shape);
    if (message != nullptr) putMessage(report->message, report->size, message);
    // A failed read explains whatever refusal followed it.
    report->cause = scanner.readError != 0 ? BSV2_CAUSE_CANNOT_READ : cause;
    report->systemError = scanner.readError;
    return nullptr;
}

// The reader, from the magic on, with every outcome: the message, the
// cause, and whether createShape's text would be printed. The same for a
// file and for memory.
Shape readShape(Bsv2Source source, Report *report, bool *allocationFailed, unsigned char *buffer,
                std::size_t capacity) {
    Bsv2Scanner scanner;
    startScan(&scanner, source, buffer, capacity);

    char magic[5];
    if (scanMagic(&scanner, magic) == kScanEnd)
        return refuse(scanner, nullptr, report, BSV2_CAUSE_ENDS_EARLY, "File Read error!!\n");
    if (std::strcmp(magic, "BSV2") != 0)
        return refuse(scanner, nullptr, report, BSV2_CAUSE_NOT_BSV2, "File is not BSV2 format!\n");

    // A vertex count that is not a number leaves the count at -1.
    int numVertices = -1;
    if (scanInt(&scanner, &numVertices) == kScanEnd)
        return refuse(scanner, nullptr, report, BSV2_CAUSE_ENDS_EARLY, "File Read error!!\n");
    if (numVertices <= 0)
        return refuse(scanner, nullptr, report, BSV2_CAUSE_BAD_VERTEX_COUNT, "You can't have less than 0 vertices!");

    int numTris = 0;
    if (scanInt(&scanner, &numTris) != kScanRead)
        return refuse(scanner, nullptr, report, BSV2_CAUSE_BAD_TRIANGLE_COUNT, "File Read error!!\n");

    // Where the input's length is known, counts it cannot hold are not
    // allocated: the read is bound to fail in that table, with the message
    // it would give once the input ran out there, and a few bytes must not
    // make the reader ask for gigabytes. The triangle table gets room for
    // one triangle more than can be whole, the one its scan fails in.
    std::size_t numbers = numbersLeft(scanner);
    std::size_t vertexNumbers = 3 * static_cast<std::size_t>(numVertices);
    if (vertexNumbers > numbers)
        return refuse(scanner, nullptr, report, BSV2_CAUSE_BAD_VERTEX, "Read error in vTable read\n");
    std::size_t triangleRoom = (numbers - vertexNumbers) / 3 + 1;
    int tableTris =
        numTris > 0 && static_cast<std::size_t>(numTris) > triangleRoom ? static_cast<int>(triangleRoom) : numTris;

    Shape shape = makeShape(numVertices, tableTris, allocationFailed);
    if (shape == nullptr) *allocationFailed = true;
    // A negative triangle count fails its table but needs none.
    if (shape == nullptr || !hasAllTables(*shape)) return refuse(scanner, shape, report, BSV2_CAUSE_NO_MEMORY, nullptr);

    if (scanFloatTable(&scanner, shape->vTable, 3L * numVertices) != kScanRead)
        return refuse(scanner, shape, report, BSV2_CAUSE_BAD_VERTEX, "Read error in vTable read\n");
    if (tableTris > 0) {
        switch (scanTriangleTable(&scanner, shape->tTable, tableTris, numVertices)) {
            case kTrianglesRead:
                break;
            case kTriangleUnreadable:
                return refuse(scanner, shape, report, BSV2_CAUSE_BAD_TRIANGLE, "Read error in tTable read\n");
            case kTriangleOutOfRange:
                return refuse(scanner, shape, report, BSV2_CAUSE_VERTEX_OUT_OF_RANGE,
                              "Vertex number out of range in tTable read\n");
        }
    }
    // Cannot happen while numbersLeft holds; kept so that a mistake there
    // could never hand out a table shorter than its count.
    if (tableTris != numTris)
        return refuse(scanner, shape, report, BSV2_CAUSE_BAD_TRIANGLE, "Read error in tTable read\n");
    return shape;
}

// readShape through a scan buffer on the heap, or a small one on this
// stack should the heap have no room.
Shape readShapeBuffered(Bsv2Source source, Report *report, bool *allocationFailed) {
    *allocationFailed = false;
    putMessage(report->message, report->size, "");
    report->cause = BSV2_CAUSE_NONE;
    report->systemError = 0;
    unsigned char *buffer = static_cast<unsigned char *>(std::malloc(kScanBufferSize + 1));
    if (buffer != nullptr) {
        Shape shape = readShape(source, report, allocationFailed, buffer, kScanBufferSize);
        std::free(buffer);
        return shape;
    }
    unsigned char small[kSmallScanBufferSize + 1];
    return readShape(source, report, allocationFailed, small, kSmallScanBufferSize);
}

// The file reader: readShapeBuffered on the opened file.
Shape readFile(const char *fileName, Report *report, bool *allocationFailed) {
    std::FILE *file = std::fopen(fileName, "r");
    if (file == nullptr) {
        int error = errno;
        *allocationFailed = false;
        putMessage(report->message, report->size, "Read error!\n");
        report->cause = BSV2_CAUSE_CANNOT_OPEN;
        report->systemError = error;
        return nullptr;
    }
    Shape shape = readShapeBuffered(fileSource(file), report, allocationFailed);
    std::fclose(file);
    return shape;
}

}  // namespace

Shape readShapeFromFileWithCause(const char *fileName, char *message, size_t messageSize, Bsv2Cause *cause,
                                 int *systemError) {
    Report report = {message, messageSize, BSV2_CAUSE_NONE, 0};
    bool allocationFailed = false;
    Shape shape = readFile(fileName, &report, &allocationFailed);
    if (cause != nullptr) *cause = report.cause;
    if (systemError != nullptr) *systemError = report.systemError;
    return shape;
}

Shape readShapeFromFileReporting(const char *fileName, char *message, size_t messageSize, int *allocationFailed) {
    Report report = {message, messageSize, BSV2_CAUSE_NONE, 0};
    bool tableFailed = false;
    Shape shape = readFile(fileName, &report, &tableFailed);
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

Shape readShapeFromMemory(const char *text, size_t size, char *message, size_t messageSize, Bsv2Cause *cause) {
    Report report = {message, messageSize, BSV2_CAUSE_BAD_ARGUMENT, 0};
    bool allocationFailed = false;
    Shape shape = nullptr;
    if (text != nullptr || size == 0) {
        shape = readShapeBuffered(memorySource(reinterpret_cast<const unsigned char *>(text), size), &report,
                                  &allocationFailed);
    } else {
        putMessage(message, messageSize, "");
    }
    if (cause != nullptr) *cause = report.cause;
    return shape;
}
