// Writing shapes as BSV2 files, through one fixed-size buffer: the
// reporting writer, and the printing one over it.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bsv2_format.h"
#include "shape.h"
#include "shape_record.h"

using namespace bsv2_internal;

namespace {

// File systems take large writes much faster than small ones (ext4 writes
// 70 MB in 256 KiB pieces in half the time it takes in 32 KiB ones), so the
// text goes out through a heap buffer of this size, and through a smaller
// one on the stack should that allocation fail.
const std::size_t kLargeBuffer = 256 * 1024;
const std::size_t kSmallBuffer = 16 * 1024;

// Text waiting to be written, flushed whenever another line might not fit.
struct LineWriter {
    std::FILE *file;
    bool failed;
    int error;  // errno of the first write that failed
    std::size_t used;
    char *buffer;
    std::size_t size;
};

void flushLines(LineWriter *writer) {
    if (writer->used > 0 && std::fwrite(writer->buffer, 1, writer->used, writer->file) != writer->used) {
        if (!writer->failed) writer->error = errno;
        writer->failed = true;
    }
    writer->used = 0;
}

// Where the next line goes, with room for kMaxLineText bytes.
char *lineStart(LineWriter *writer) {
    if (writer->size - writer->used < kMaxLineText) flushLines(writer);
    return writer->buffer + writer->used;
}

void lineEnd(LineWriter *writer, char *end) { writer->used = static_cast<std::size_t>(end - writer->buffer); }

}  // namespace

int writeShapeToFileWithCause(Shape shape, const char *fileName, char *message, size_t messageSize, Bsv2Cause *cause,
                              int *systemError) {
    Bsv2Cause ignoredCause;
    int ignoredError;
    if (cause == nullptr) cause = &ignoredCause;
    if (systemError == nullptr) systemError = &ignoredError;
    *cause = BSV2_CAUSE_NONE;
    *systemError = 0;
    putMessage(message, messageSize, "");
    if (shape == nullptr || fileName == nullptr || !hasAllTables(*shape)) {
        *cause = BSV2_CAUSE_BAD_ARGUMENT;
        return 1;
    }

    std::FILE *file = std::fopen(fileName, "w");
    if (file == nullptr) {
        *cause = BSV2_CAUSE_CANNOT_OPEN;
        *systemError = errno;
        if (messageSize > 0) std::snprintf(message, messageSize, "Unable to open %s for writing.\n", fileName);
        return 2;
    }

    char smallBuffer[kSmallBuffer];
    LineWriter writer;
    writer.file = file;
    writer.failed = false;
    writer.error = 0;
    writer.used = 0;
    writer.buffer = static_cast<char *>(std::malloc(kLargeBuffer));
    writer.size = writer.buffer != nullptr ? kLargeBuffer : sizeof smallBuffer;
    if (writer.buffer == nullptr) writer.buffer = smallBuffer;
    static const char kMagicLine[] = "BSV2\n";
    lineEnd(&writer, std::copy(kMagicLine, kMagicLine + 5, lineStart(&writer)));
    lineEnd(&writer, formatCountLine(lineStart(&writer), shape->numVertices));
    lineEnd(&writer, formatCountLine(lineStart(&writer), shape->numTris));
    for (long k = 0; k < shape->numVertices; k++)
        lineEnd(&writer, formatVertexLine(lineStart(&writer), shape->vTable + 3 * k));
    for (long j = 0; j < numTriangles(shape); j++)
        lineEnd(&writer, formatTriangleLine(lineStart(&writer), shape->tTable + 3 * j));
    flushLines(&writer);
    if (writer.buffer != smallBuffer) std::free(writer.buffer);

    // Output errors are sticky in the stream, and fclose flushes what stdio
    // still holds, so these two checks catch a failure anywhere.
    bool failed = writer.failed || std::ferror(file) != 0;
    int error = writer.error;
    if (std::fclose(file) != 0) {
        if (!failed) error = errno;
        failed = true;
    }
    if (failed) {
        *cause = BSV2_CAUSE_CANNOT_WRITE;
        *systemError = error != 0 ? error : EIO;
        if (messageSize > 0) std::snprintf(message, messageSize, "Unable to write %s.\n", fileName);
        return 3;
    }
    return 0;
}

int writeShapeToFileReporting(Shape shape, const char *fileName, char *message, size_t messageSize) {
    return writeShapeToFileWithCause(shape, fileName, message, messageSize, nullptr, nullptr);
}

int writeShapeToFile(Shape shape, const char *fileName) {
    // Room for the longest message whole: the file name and 32 bytes of
    // text. Should even that little memory be lacking, the message is cut.
    char fallback[256];
    std::size_t size = fileName != nullptr ? std::strlen(fileName) + 32 : 1;
    char *message = size > sizeof fallback ? static_cast<char *>(std::malloc(size)) : nullptr;
    if (message == nullptr) {
        message = fallback;
        size = sizeof fallback;
    }
    int status = writeShapeToFileReporting(shape, fileName, message, size);
    std::fputs(message, stderr);
    if (message != fallback) std::free(message);
    return status;
}
