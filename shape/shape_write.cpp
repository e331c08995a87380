// Writing shapes as BSV2 files, through one fixed-size buffer.
#include <algorithm>
#include <cstdio>

#include "bsv2_format.h"
#include "shape.h"
#include "shape_tables.h"

namespace {

// Text waiting to be written, flushed whenever another line might not fit.
struct LineWriter {
    std::FILE *file;
    bool failed;
    std::size_t used;
    char buffer[32 * 1024];
};

void flushLines(LineWriter *writer) {
    if (writer->used > 0 && std::fwrite(writer->buffer, 1, writer->used, writer->file) != writer->used)
        writer->failed = true;
    writer->used = 0;
}

// Where the next line goes, with room for kMaxLineText bytes.
char *lineStart(LineWriter *writer) {
    if (sizeof writer->buffer - writer->used < kMaxLineText) flushLines(writer);
    return writer->buffer + writer->used;
}

void lineEnd(LineWriter *writer, char *end) { writer->used = static_cast<std::size_t>(end - writer->buffer); }

}  // namespace

int writeShapeToFile(Shape shape, const char *fileName) {
    if (shape == nullptr || fileName == nullptr || !hasAllTables(*shape)) return 1;

    std::FILE *file = std::fopen(fileName, "w");
    if (file == nullptr) {
        std::fprintf(stderr, "Unable to open %s for writing.\n", fileName);
        return 2;
    }

    LineWriter writer;
    writer.file = file;
    writer.failed = false;
    writer.used = 0;
    static const char kMagicLine[] = "BSV2\n";
    lineEnd(&writer, std::copy(kMagicLine, kMagicLine + 5, lineStart(&writer)));
    lineEnd(&writer, formatCountLine(lineStart(&writer), shape->numVertices));
    lineEnd(&writer, formatCountLine(lineStart(&writer), shape->numTris));
    for (long k = 0; k < shape->numVertices; k++)
        lineEnd(&writer, formatVertexLine(lineStart(&writer), shape->vTable + 3 * k));
    for (long j = 0; j < numTriangles(shape); j++)
        lineEnd(&writer, formatTriangleLine(lineStart(&writer), shape->tTable + 3 * j));
    flushLines(&writer);

    // Output errors are sticky in the stream, and fclose flushes what stdio
    // still holds, so these two checks catch a failure anywhere.
    bool failed = writer.failed || std::ferror(file) != 0;
    if (std::fclose(file) != 0) failed = true;
    if (failed) {
        std::fprintf(stderr, "Unable to write %s.\n", fileName);
        return 3;
    }
    return 0;
}
