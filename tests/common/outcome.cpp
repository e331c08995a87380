#include "outcome.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "sanitizer_warnings.h"
#include "stream_capture.h"
#include "whole_file.h"

namespace {

// An in-memory file holding `bytes`, and a path that opens it afresh.
int memoryFile(const std::string &bytes, std::string *path) {
    int fd = memfd_create("bsv2-outcome", 0);
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        std::perror("memory file");
        std::abort();
    }
    *path = "/proc/self/fd/" + std::to_string(fd);
    return fd;
}

}  // namespace

bool operator==(const ReadOutcome &a, const ReadOutcome &b) {
    return a.loaded == b.loaded && a.out == b.out && a.err == b.err && a.numVertices == b.numVertices &&
           a.numTris == b.numTris && a.coordinateBits == b.coordinateBits && a.vertexNumbers == b.vertexNumbers;
}

std::string describe(const ReadOutcome &outcome) {
    std::ostringstream text;
    text << (outcome.loaded ? "loaded" : "refused") << ", out \"" << outcome.out << "\", err \"" << outcome.err << "\"";
    if (!outcome.loaded) return text.str();
    text << ", " << outcome.numVertices << " vertices, " << outcome.numTris << " triangles, coordinates";
    for (std::size_t i = 0; i < outcome.coordinateBits.size() && i < 12; i++) {
        float value;
        std::memcpy(&value, &outcome.coordinateBits[i], sizeof value);
        char number[64];
        std::snprintf(number, sizeof number, " %a(%08x)", value, outcome.coordinateBits[i]);
        text << number;
    }
    text << ", vertex numbers";
    for (std::size_t i = 0; i < outcome.vertexNumbers.size() && i < 12; i++) text << ' ' << outcome.vertexNumbers[i];
    return text.str();
}

ReadOutcome readOutcome(ShapeReader reader, const char *path) {
    ReadOutcome outcome;
    Shape shape = nullptr;
    Captured captured = captureOutput([&] { shape = reader(path); });
    outcome.out = captured.out;
    outcome.err = withoutSanitizerWarnings(captured.err);
    if (shape == nullptr) return outcome;
    outcome.loaded = true;
    outcome.numVertices = shape->numVertices;
    outcome.numTris = shape->numTris;
    outcome.coordinateBits.resize(3 * static_cast<std::size_t>(shape->numVertices));
    std::memcpy(outcome.coordinateBits.data(), shape->vTable, outcome.coordinateBits.size() * sizeof(float));
    if (shape->numTris > 0) outcome.vertexNumbers.assign(shape->tTable, shape->tTable + 3L * shape->numTris);
    destroyShape(shape);
    return outcome;
}

ReadOutcome readBytesOutcome(ShapeReader reader, const std::string &bytes) {
    std::string path;
    int fd = memoryFile(bytes, &path);
    ReadOutcome outcome = readOutcome(reader, path.c_str());
    close(fd);
    return outcome;
}

WriteOutcome writeOutcome(ShapeWriter writer, Shape shape) {
    WriteOutcome outcome;
    std::string path;
    int fd = memoryFile("", &path);
    Captured captured = captureOutput([&] { outcome.result = writer(shape, path.c_str()); });
    outcome.err = captured.err;
    outcome.bytes = readWholeFile(path);
    close(fd);
    return outcome;
}
