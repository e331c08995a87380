// The native library's outcome for each file named on standard input (one
// path a line), for the npm package's differential test: the file reader's
// cause, message and tables, and the file writer's bytes for what it read.
// Written to standard output, per file, little-endian:
//   int32 cause, uint32 length and the cause's text (bsv2CauseText),
//   uint32 length and the message;
//   when a shape was read: int32 numVertices, int32 numTris, the vertex
//   table's 3 * numVertices float bit patterns, the triangle table's
//   3 * max(numTris, 0) vertex numbers, uint32 length and the written text.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "shape.h"

namespace {

void put(const void *bytes, std::size_t size) {
    if (size > 0 && std::fwrite(bytes, 1, size, stdout) != size) {
        std::perror("bsv2_web_oracle: standard output");
        std::exit(1);
    }
}

void putInt(std::int32_t value) { put(&value, sizeof value); }

void putText(const std::string &text) {
    putInt(static_cast<std::int32_t>(text.size()));
    put(text.data(), text.size());
}

// What the file writer writes for `shape`, through a scratch file.
std::string written(Shape shape, const std::string &scratch) {
    char message[512];
    if (writeShapeToFileReporting(shape, scratch.c_str(), message, sizeof message) != 0) {
        std::fprintf(stderr, "bsv2_web_oracle: %s", message);
        std::exit(1);
    }
    std::ifstream file(scratch, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

int main() {
    // A scratch file of our own (not a name someone else may have linked).
    const char *folder = std::getenv("TMPDIR");
    std::string scratch = std::string(folder != nullptr ? folder : "/tmp") + "/bsv2_web_oracle.XXXXXX";
    int descriptor = mkstemp(scratch.data());
    if (descriptor < 0) {
        std::perror("bsv2_web_oracle: scratch file");
        return 1;
    }
    close(descriptor);
    std::string path;
    while (std::getline(std::cin, path)) {
        char message[128];
        Bsv2Cause cause = BSV2_CAUSE_NONE;
        Shape shape = readShapeFromFileWithCause(path.c_str(), message, sizeof message, &cause, nullptr);
        putInt(cause);
        putText(bsv2CauseText(cause));
        putText(message);
        if (shape == nullptr) continue;
        putInt(shape->numVertices);
        putInt(shape->numTris);
        put(shape->vTable, 3 * static_cast<std::size_t>(shape->numVertices) * sizeof(float));
        if (shape->numTris > 0) put(shape->tTable, 3 * static_cast<std::size_t>(shape->numTris) * sizeof(int));
        putText(written(shape, scratch));
        destroyShape(shape);
    }
    std::remove(scratch.c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}
