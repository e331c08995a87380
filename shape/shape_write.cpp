// Writing shapes as BSV2 text: one writer, whose lines go to a file through
// a fixed-size buffer or stay in a growing one in memory; the reporting
// functions over it, and the printing one over those.
#include <algorithm>
#include <cerrno>
#include <cstdint>
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
// one on the stack should that allocation fail. Text in memory starts in a
// buffer of the large size.
const std::size_t kLargeBuffer = 256 * 1024;
const std::size_t kSmallBuffer = 16 * 1024;

// Text waiting to be written, or the whole text in memory.
struct LineWriter {
    std::FILE *file;  // where full buffers go; null: the text stays in `buffer`, which grows
    bool failed;
    int error;  // errno of the first write that failed (ENOMEM in memory)
    std::size_t used;
    char *buffer;
    std::size_t size;
};

// A writer for `file` (null: memory) with a buffer of kLargeBuffer bytes
// on the heap, or none (null, size 0) when the heap has no room.
LineWriter startLines(std::FILE *file) {
    char *buffer = static_cast<char *>(std::malloc(kLargeBuffer));
    return LineWriter{file, false, 0, 0, buffer, buffer != nullptr ? kLargeBuffer : 0};
}

void flushLines(LineWriter *writer) {
    if (writer->used > 0 && std::fwrite(writer->buffer, 1, writer->used, writer->file) != writer->used) {
        if (!writer->failed) writer->error = errno;
        writer->failed = true;
    }
    writer->used = 0;
}

// Doubles the memory writer's buffer. When that fails, the text is lost:
// the writer is marked failed and starts over in the buffer it has, so that
// what follows still has room (and is thrown away too).
void growLines(LineWriter *writer) {
    char *grown =
        writer->size <= SIZE_MAX / 2 ? static_cast<char *>(std::realloc(writer->buffer, 2 * writer->size)) : nullptr;
    if (grown == nullptr) {
        writer->failed = true;
        writer->error = ENOMEM;
        writer->used = 0;
        return;
    }
    writer->buffer = grown;
    writer->size *= 2;
}

// Where the next line goes, with room for kMaxLineText bytes.
char *lineStart(LineWriter *writer) {
    if (writer->size - writer->used < kMaxLineText) {
        if (writer->file != nullptr) {
            flushLines(writer);
        } else {
            growLines(writer);
        }
    }
    return writer->buffer + writer->used;
}

void lineEnd(LineWriter *writer, char *end) { writer->used = static_cast<std::size_t>(end - writer->buffer); }

// The shape's text, line by line: "BSV2", the counts, the vertices, the
// triangles. Text in memory stops at a failure, which loses it anyway; a
// file goes on, as it always has, and keeps whatever the system took.
void writeLines(LineWriter *writer, const Shape_Typ &shape) {
    auto goingOn = [writer] { return writer->file != nullptr || !writer->failed; };
    static const char kMagicLine[] = "BSV2\n";
    lineEnd(writer, std::copy(kMagicLine, kMagicLine + 5, lineStart(writer)));
    lineEnd(writer, formatCountLine(lineStart(writer), shape.numVertices));
    lineEnd(writer, formatCountLine(lineStart(writer), shape.numTris));
    for (long k = 0; k < shape.numVertices && goingOn(); k++)
        lineEnd(writer, formatVertexLine(lineStart(writer), shape.vTable + 3 * k));
    for (long j = 0; j < shape.numTris && goingOn(); j++)
        lineEnd(writer, formatTriangleLine(lineStart(writer), shape.tTable + 3 * j));
}

// Sets the outcome the caller asked for; either pointer may be null.
int outcome(int status, Bsv2Cause cause, int systemError, Bsv2Cause *causeOut, int *systemErrorOut) {
    if (causeOut != nullptr) *causeOut = cause;
    if (systemErrorOut != nullptr) *systemErrorOut = systemError;
    return status;
}

}  // namespace

int writeShapeToFileWithCause(Shape shape, const char *fileName, char *message, size_t messageSize, Bsv2Cause *cause,
                              int *systemError) {
    putMessage(message, messageSize, "");
    if (shape == nullptr || fileName == nullptr || !hasAllTables(*shape))
        return outcome(1, BSV2_CAUSE_BAD_ARGUMENT, 0, cause, systemError);

    std::FILE *file = std::fopen(fileName, "w");
    if (file == nullptr) {
        int error = errno;
        if (messageSize > 0) std::snprintf(message, messageSize, "Unable to open %s for writing.\n", fileName);
        return outcome(2, BSV2_CAUSE_CANNOT_OPEN, error, cause, systemError);
    }

    char smallBuffer[kSmallBuffer];
    LineWriter writer = startLines(file);
    if (writer.buffer == nullptr) {
        writer.buffer = smallBuffer;
        writer.size = sizeof smallBuffer;
    }
    writeLines(&writer, *shape);
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
        if (messageSize > 0) std::snprintf(message, messageSize, "Unable to write %s.\n", fileName);
        return outcome(3, BSV2_CAUSE_CANNOT_WRITE, error != 0 ? error : EIO, cause, systemError);
    }
    return outcome(0, BSV2_CAUSE_NONE, 0, cause, systemError);
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

int writeShapeToMemory(Shape shape, char **text, size_t *size, Bsv2Cause *cause) {
    if (text != nullptr) *text = nullptr;
    if (size != nullptr) *size = 0;
    if (shape == nullptr || text == nullptr || size == nullptr || !hasAllTables(*shape))
        return outcome(1, BSV2_CAUSE_BAD_ARGUMENT, 0, cause, nullptr);

    LineWriter writer = startLines(nullptr);
    if (writer.buffer == nullptr) return outcome(3, BSV2_CAUSE_NO_MEMORY, 0, cause, nullptr);
    writeLines(&writer, *shape);
    if (writer.failed) {
        std::free(writer.buffer);
        return outcome(3, BSV2_CAUSE_NO_MEMORY, 0, cause, nullptr);
    }
    // What the last doubling left unused goes back, where the allocator can.
    char *fitted = static_cast<char *>(std::realloc(writer.buffer, writer.used));
    *text = fitted != nullptr ? fitted : writer.buffer;
    *size = writer.used;
    return outcome(0, BSV2_CAUSE_NONE, 0, cause, nullptr);
}

void releaseShapeText(char *text) { std::free(text); }
