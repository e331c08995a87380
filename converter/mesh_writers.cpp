#include "mesh_writers.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

static_assert(sizeof(float) == 4, "STL, PLY and glTF hold 32-bit floats");
// The binary formats are written as the tables lie in memory.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "STL, PLY and glTF are little-endian");

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` for writing with a large buffer; null with the reason set.
File openForWriting(const char *path, std::string *reason) {
    File file(std::fopen(path, "wb"));
    if (!file) {
        *reason = std::strerror(errno);
        return nullptr;
    }
    std::setvbuf(file.get(), nullptr, _IOFBF, 1 << 20);
    return file;
}

// Closes the file, reporting any write that failed on the way.
bool finish(File file, std::string *reason) {
    bool failed = std::ferror(file.get()) != 0;
    int savedErrno = errno;
    if (std::fclose(file.release()) != 0) {
        failed = true;
        savedErrno = errno;
    }
    if (failed) *reason = savedErrno != 0 ? std::strerror(savedErrno) : "cannot be written";
    return !failed;
}

}  // namespace

bool writeObj(Shape shape, const char *path, std::string *reason) {
    File file = openForWriting(path, reason);
    if (!file) return false;
    char line[3 * 32 + 8];
    for (long k = 0; k < shape->numVertices; k++) {
        char *end = line;
        *end++ = 'v';
        for (int c = 0; c < 3; c++) {
            *end++ = ' ';
            end = std::to_chars(end, line + sizeof line, shape->vTable[3 * k + c]).ptr;
        }
        *end++ = '\n';
        std::fwrite(line, 1, static_cast<std::size_t>(end - line), file.get());
    }
    for (long j = 0; j < numTriangles(shape); j++) {
        char *end = line;
        *end++ = 'f';
        for (int c = 0; c < 3; c++) {
            *end++ = ' ';
            end = std::to_chars(end, line + sizeof line, static_cast<long>(shape->tTable[3 * j + c]) + 1).ptr;
        }
        *end++ = '\n';
        std::fwrite(line, 1, static_cast<std::size_t>(end - line), file.get());
    }
    return finish(std::move(file), reason);
}

bool writeBinaryStl(Shape shape, const char *path, std::string *reason) {
    File file = openForWriting(path, reason);
    if (!file) return false;
    char header[80] = "binary STL";
    std::fwrite(header, 1, sizeof header, file.get());
    std::uint32_t count = static_cast<std::uint32_t>(numTriangles(shape));
    std::fwrite(&count, sizeof count, 1, file.get());
    for (long j = 0; j < numTriangles(shape); j++) {
        const float *corner[3];
        for (int c = 0; c < 3; c++) corner[c] = shape->vTable + 3L * shape->tTable[3 * j + c];
        double u[3], v[3];
        for (int i = 0; i < 3; i++) {
            u[i] = double(corner[1][i]) - corner[0][i];
            v[i] = double(corner[2][i]) - corner[0][i];
        }
        double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
        double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        // Twelve floats and the attribute word: 50 bytes, no padding.
        unsigned char record[50] = {0};
        float values[12];
        for (int i = 0; i < 3; i++) values[i] = length > 0 ? static_cast<float>(n[i] / length) : 0.0f;
        for (int c = 0; c < 3; c++) std::memcpy(values + 3 + 3 * c, corner[c], 3 * sizeof(float));
        std::memcpy(record, values, sizeof values);
        std::fwrite(record, 1, sizeof record, file.get());
    }
    return finish(std::move(file), reason);
}

bool writeBinaryPly(Shape shape, const char *path, std::string *reason) {
    File file = openForWriting(path, reason);
    if (!file) return false;
    std::fprintf(file.get(),
                 "ply\nformat binary_little_endian 1.0\ncomment written by bsv2-convert\nelement vertex %d\n"
                 "property float x\nproperty float y\nproperty float z\nelement face %d\n"
                 "property list uchar int vertex_indices\nend_header\n",
                 shape->numVertices, numTriangles(shape));
    std::fwrite(shape->vTable, 3 * sizeof(float), static_cast<std::size_t>(shape->numVertices), file.get());
    // Faces a few thousand at a time: a count byte, then the three numbers.
    const long kBatch = 4096;
    unsigned char faces[kBatch * 13];
    for (long first = 0; first < numTriangles(shape); first += kBatch) {
        long count = std::min<long>(kBatch, numTriangles(shape) - first);
        for (long j = 0; j < count; j++) {
            faces[13 * j] = 3;
            std::memcpy(faces + 13 * j + 1, shape->tTable + 3 * (first + j), 3 * sizeof(int));
        }
        std::fwrite(faces, 13, static_cast<std::size_t>(count), file.get());
    }
    return finish(std::move(file), reason);
}

namespace {

std::string shortest(float value) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// The glTF description of one mesh whose positions and then indices make
// up the binary chunk; min and max of the positions are required.
std::string gltfJson(Shape shape, std::uint64_t positionBytes, std::uint64_t indexBytes) {
    float low[3], high[3];
    for (int c = 0; c < 3; c++) low[c] = high[c] = shape->vTable[c];
    for (long i = 0; i < 3L * shape->numVertices; i++) {
        low[i % 3] = std::min(low[i % 3], shape->vTable[i]);
        high[i % 3] = std::max(high[i % 3], shape->vTable[i]);
    }
    std::string bounds = "\"min\":[" + shortest(low[0]) + "," + shortest(low[1]) + "," + shortest(low[2]) +
                         "],\"max\":[" + shortest(high[0]) + "," + shortest(high[1]) + "," + shortest(high[2]) + "]";
    return "{\"asset\":{\"version\":\"2.0\",\"generator\":\"bsv2-convert\"},\"scene\":0,"
           "\"scenes\":[{\"nodes\":[0]}],\"nodes\":[{\"mesh\":0}],"
           "\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":0},\"indices\":1,\"mode\":4}]}],"
           "\"buffers\":[{\"byteLength\":" +
           std::to_string(positionBytes + indexBytes) +
           "}],\"bufferViews\":[{\"buffer\":0,\"byteOffset\":0,\"byteLength\":" + std::to_string(positionBytes) +
           ",\"target\":34962},{\"buffer\":0,\"byteOffset\":" + std::to_string(positionBytes) +
           ",\"byteLength\":" + std::to_string(indexBytes) +
           ",\"target\":34963}],\"accessors\":[{\"bufferView\":0,\"componentType\":5126,\"count\":" +
           std::to_string(shape->numVertices) + ",\"type\":\"VEC3\"," + bounds +
           "},{\"bufferView\":1,\"componentType\":5125,\"count\":" + std::to_string(3L * numTriangles(shape)) +
           ",\"type\":\"SCALAR\"}]}";
}

void putWord(std::FILE *file, std::uint32_t word) { std::fwrite(&word, sizeof word, 1, file); }

}  // namespace

bool writeGlb(Shape shape, const char *path, std::string *reason) {
    std::uint64_t positionBytes = 12ULL * static_cast<std::uint64_t>(shape->numVertices);
    std::uint64_t indexBytes = 12ULL * static_cast<std::uint64_t>(numTriangles(shape));
    std::string json = gltfJson(shape, positionBytes, indexBytes);
    json.resize((json.size() + 3) / 4 * 4, ' ');  // chunks are 4-byte aligned
    std::uint64_t total = 12 + 8 + json.size() + 8 + positionBytes + indexBytes;
    if (total > UINT32_MAX) {
        *reason = "is too large for a .glb file (4 GiB at most)";
        return false;
    }
    File file = openForWriting(path, reason);
    if (!file) return false;
    putWord(file.get(), 0x46546C67);  // "glTF"
    putWord(file.get(), 2);
    putWord(file.get(), static_cast<std::uint32_t>(total));
    putWord(file.get(), static_cast<std::uint32_t>(json.size()));
    putWord(file.get(), 0x4E4F534A);  // "JSON"
    std::fwrite(json.data(), 1, json.size(), file.get());
    putWord(file.get(), static_cast<std::uint32_t>(positionBytes + indexBytes));
    putWord(file.get(), 0x004E4942);  // "BIN"
    std::fwrite(shape->vTable, 1, positionBytes, file.get());
    // Vertex numbers are in 0 .. numVertices - 1, so the same bits serve as
    // glTF's unsigned indices.
    std::fwrite(shape->tTable, 1, indexBytes, file.get());
    return finish(std::move(file), reason);
}

bool writeBsv2(Shape shape, const char *path, std::string *reason) {
    Bsv2Cause cause = BSV2_CAUSE_NONE;
    int systemError = 0;
    // The library's message names the temporary file; the system's reason
    // says more.
    if (writeShapeToFileWithCause(shape, path, nullptr, 0, &cause, &systemError) == 0) return true;
    *reason = systemError != 0 ? std::strerror(systemError) : bsv2CauseText(cause);
    return false;
}

namespace {

// In the order the user is told them.
const OutputFormat kFormats[] = {
    {".bsv2", writeBsv2, true},      {".obj", writeObj, false}, {".ply", writeBinaryPly, false},
    {".stl", writeBinaryStl, false}, {".glb", writeGlb, false},
};

}  // namespace

const OutputFormat *outputFormatFor(const std::string &extension) {
    for (const OutputFormat &format : kFormats) {
        if (extension == format.extension) return &format;
    }
    return nullptr;
}

std::string outputExtensions() {
    std::string list;
    const std::size_t count = sizeof kFormats / sizeof kFormats[0];
    for (std::size_t i = 0; i < count; i++) {
        list += i == 0 ? "" : i + 1 < count ? ", " : " or ";
        list += kFormats[i].extension;
    }
    return list;
}
