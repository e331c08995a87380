// Reading BSV2 files and BSV2 text in memory: one reader for both, the
// reporting functions over it, and the printing one over those.
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bsv2_scan.h"
#include "shape.h"
#include "shape_record.h"
#include "shape_split.h"

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

// A second thread for a read: the file to read the triangles from, and its
// size. fd is -1 for a read on one thread.
struct SecondThread {
    int fd;
    std::uint64_t fileSize;
};
const SecondThread kOneThread = {-1, 0};

// Why the tables could not be read; no cause when they were.
struct TableFailure {
    Bsv2Cause cause;
    const char *message;
};

// The tables of `shape`, whose counts were read, the triangles with a helper
// when there is one (`helper` not null).
TableFailure readTables(Bsv2Scanner *scanner, Shape shape, int tableTris, int numTris, TriangleHelper *helper) {
    const TableFailure kVertexFailure = {BSV2_CAUSE_BAD_VERTEX, "Read error in vTable read\n"};
    const TableFailure kTriangleFailure = {BSV2_CAUSE_BAD_TRIANGLE, "Read error in tTable read\n"};
    if (scanFloatTable(scanner, shape->vTable, 3L * shape->numVertices) != kScanRead) return kVertexFailure;
    if (tableTris > 0) {
        TriangleTableResult result = helper != nullptr
                                         ? scanTrianglesWithHelper(scanner, helper)
                                         : scanTriangleTable(scanner, shape->tTable, tableTris, shape->numVertices);
        switch (result) {
            case kTrianglesRead:
                break;
            case kTriangleUnreadable:
                return kTriangleFailure;
            case kTriangleOutOfRange:
                return {BSV2_CAUSE_VERTEX_OUT_OF_RANGE, "Vertex number out of range in tTable read\n"};
        }
    }
    // Cannot happen while numbersLeft holds; kept so that a mistake there
    // could never hand out a table shorter than its count.
    if (tableTris != numTris) return kTriangleFailure;
    return {BSV2_CAUSE_NONE, nullptr};
}

// The reader, from the magic on, with every outcome: the message, the
// cause, and whether createShape's text would be printed. The same for a
// file and for memory; with `second` a file's, the triangles are read with a
// helper thread where one starts, and *helped says whether one did.
Shape readShape(Bsv2Source source, Report *report, bool *allocationFailed, unsigned char *buffer, std::size_t capacity,
                SecondThread second, bool *helped) {
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

    // The helper reads the triangles from the file's end while this thread
    // reads the vertices; it is stopped before the shape is handed out or
    // released, whatever the outcome.
    TriangleHelper helper;
    *helped = second.fd >= 0 && tableTris > 0 &&
              startTriangleHelper(&helper, second.fd, second.fileSize, shape->tTable, tableTris, numVertices);
    TableFailure failure = readTables(&scanner, shape, tableTris, numTris, *helped ? &helper : nullptr);
    if (*helped) stopTriangleHelper(&helper);
    if (failure.cause != BSV2_CAUSE_NONE) return refuse(scanner, shape, report, failure.cause, failure.message);
    return shape;
}

// readShape through a scan buffer on the heap, or a small one on this
// stack should the heap have no room.
Shape readShapeBuffered(Bsv2Source source, Report *report, bool *allocationFailed, SecondThread second, bool *helped) {
    *allocationFailed = false;
    *helped = false;
    putMessage(report->message, report->size, "");
    report->cause = BSV2_CAUSE_NONE;
    report->systemError = 0;
    unsigned char *buffer = static_cast<unsigned char *>(std::malloc(kScanBufferSize + 1));
    if (buffer != nullptr) {
        Shape shape = readShape(source, report, allocationFailed, buffer, kScanBufferSize, second, helped);
        std::free(buffer);
        return shape;
    }
    unsigned char small[kSmallScanBufferSize + 1];
    return readShape(source, report, allocationFailed, small, kSmallScanBufferSize, second, helped);
}

// Reports a file that could not be opened or read from its start.
void failBeforeTheMagic(Report *report, bool *allocationFailed, const char *message, Bsv2Cause cause, int error) {
    *allocationFailed = false;
    putMessage(report->message, report->size, message);
    report->cause = cause;
    report->systemError = error;
}

// The file reader: readShapeBuffered on the opened file, with a second
// thread for a large regular file. Should the file have changed while two
// threads read it, their parts may be of two versions: it is read again, on
// this thread alone, as a reader without a second thread would have read it.
Shape readFile(const char *fileName, Report *report, bool *allocationFailed) {
    std::FILE *file = std::fopen(fileName, "r");
    if (file == nullptr) {
        failBeforeTheMagic(report, allocationFailed, "Read error!\n", BSV2_CAUSE_CANNOT_OPEN, errno);
        return nullptr;
    }
    int fd = fileno(file);
    struct stat before;
    SecondThread second = kOneThread;
    if (wantsSecondThread(fd, &before)) second = {fd, static_cast<std::uint64_t>(before.st_size)};
    bool helped = false;
    Shape shape = readShapeBuffered(fileSource(file), report, allocationFailed, second, &helped);
    if (helped) {
        callAfterTwoThreadRead(fd);
        struct stat after;
        if (fstat(fd, &after) != 0 || !sameFileVersion(before, after)) {
            countReread();
            destroyShape(shape);
            shape = nullptr;
            std::clearerr(file);
            if (std::fseek(file, 0, SEEK_SET) == 0) {
                shape = readShapeBuffered(fileSource(file), report, allocationFailed, kOneThread, &helped);
            } else {
                failBeforeTheMagic(report, allocationFailed, "File Read error!!\n", BSV2_CAUSE_CANNOT_READ, errno);
            }
        }
    }
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
        bool helped = false;
        shape = readShapeBuffered(memorySource(reinterpret_cast<const unsigned char *>(text), size), &report,
                                  &allocationFailed, kOneThread, &helped);
    } else {
        putMessage(message, messageSize, "");
    }
    if (cause != nullptr) *cause = report.cause;
    return shape;
}
