#include "mesh_wire.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "terminal_text.h"

namespace {

const std::size_t kFrameHeader = 1 + sizeof(std::uint64_t);
const std::size_t kMeshHeader = 4 * sizeof(std::int64_t);

bool writeAll(int fd, const void *data, std::size_t size) {
    const char *bytes = static_cast<const char *>(data);
    while (size > 0) {
        ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool sendFrameHeader(int fd, char tag, std::uint64_t length) {
    char header[kFrameHeader];
    header[0] = tag;
    std::memcpy(header + 1, &length, sizeof length);
    return writeAll(fd, header, sizeof header);
}

std::uint64_t frameLength(const std::string &bytes) {
    std::uint64_t length;
    std::memcpy(&length, bytes.data() + 1, sizeof length);
    return length;
}

// The counts of a mesh payload's header, when they are in range and account
// for exactly `payloadSize` bytes.
bool meshHeaderValid(const std::int64_t header[4], std::uint64_t payloadSize) {
    std::int64_t numVertices = header[0], numTris = header[1];
    if (numVertices < 1 || numVertices > INT_MAX || numTris < 1 || numTris > INT_MAX || header[2] < 0 || header[3] < 0)
        return false;
    // Both counts are at most INT_MAX, so this cannot overflow 64 bits.
    std::uint64_t tableBytes = 12 * static_cast<std::uint64_t>(numVertices) + 12 * static_cast<std::uint64_t>(numTris);
    return payloadSize >= kMeshHeader && tableBytes == payloadSize - kMeshHeader;
}

}  // namespace

bool sendProgress(int fd, float share) {
    // One write of under PIPE_BUF bytes: the frame arrives whole or not at all.
    char frame[kFrameHeader + sizeof share];
    frame[0] = 'p';
    std::uint64_t length = sizeof share;
    std::memcpy(frame + 1, &length, sizeof length);
    std::memcpy(frame + kFrameHeader, &share, sizeof share);
    return writeAll(fd, frame, sizeof frame);
}

bool sendFailure(int fd, const std::string &reason) {
    std::size_t size = std::min(reason.size(), kMaxReasonBytes);
    return sendFrameHeader(fd, 'e', size) && writeAll(fd, reason.data(), size);
}

bool sendMesh(int fd, const MeshData &mesh) {
    std::size_t vertexBytes = mesh.vertices.size() * sizeof(float);
    std::size_t cornerBytes = mesh.corners.size() * sizeof(int);
    std::int64_t header[4] = {static_cast<std::int64_t>(mesh.vertices.size() / 3),
                              static_cast<std::int64_t>(mesh.corners.size() / 3), mesh.leftOut.points,
                              mesh.leftOut.lines};
    return sendFrameHeader(fd, 'm', kMeshHeader + vertexBytes + cornerBytes) && writeAll(fd, header, sizeof header) &&
           writeAll(fd, mesh.vertices.data(), vertexBytes) && writeAll(fd, mesh.corners.data(), cornerBytes);
}

void takeProgressFrames(std::string *pending, void (*progress)(double share)) {
    std::size_t taken = 0;
    while (pending->size() - taken >= kFrameHeader + sizeof(float) && (*pending)[taken] == 'p') {
        float share;
        std::memcpy(&share, pending->data() + taken + kFrameHeader, sizeof share);
        if (share >= 0 && share <= 1) progress(share);
        taken += kFrameHeader + sizeof share;
    }
    pending->erase(0, taken);
}

bool finalFrameInBounds(const std::string &pending, std::uint64_t maxMeshBytes, std::string *reason) {
    *reason = "the importer returned a malformed result";
    if (pending.empty()) return true;
    char tag = pending[0];
    if (tag != 'p' && tag != 'e' && tag != 'm') return false;
    if (pending.size() < kFrameHeader) return true;
    std::uint64_t length = frameLength(pending);
    if (tag == 'p') return length == sizeof(float);  // unfinished: takeProgressFrames takes whole ones
    if (tag == 'm' && length < kMeshHeader) return false;
    std::uint64_t bound = tag == 'e' ? kMaxReasonBytes : maxMeshBytes;
    if (length > bound || pending.size() - kFrameHeader > length) {
        *reason = "the importer sent more than a result can hold";
        return false;
    }
    if (tag == 'm' && pending.size() >= kFrameHeader + kMeshHeader) {
        std::int64_t header[4];
        std::memcpy(header, pending.data() + kFrameHeader, sizeof header);
        if (!meshHeaderValid(header, length)) return false;
    }
    return true;
}

Shape receiveMesh(const std::string &bytes, LeftOut *leftOut, std::string *reason) {
    *reason = "the importer returned a malformed result";
    if (bytes.size() < kFrameHeader || frameLength(bytes) != bytes.size() - kFrameHeader) return nullptr;
    const char *payload = bytes.data() + kFrameHeader;
    std::size_t payloadSize = bytes.size() - kFrameHeader;
    if (bytes[0] == 'e') {
        if (payloadSize > kMaxReasonBytes) return nullptr;
        // The text goes into the converter's one line on a terminal.
        *reason = terminalText(std::string(payload, payloadSize));
        if (reason->empty()) *reason = "cannot be read";
        return nullptr;
    }
    if (bytes[0] != 'm' || payloadSize < kMeshHeader) return nullptr;
    std::int64_t header[4];
    std::memcpy(header, payload, sizeof header);
    if (!meshHeaderValid(header, payloadSize)) return nullptr;
    std::int64_t numVertices = header[0], numTris = header[1];

    const char *vertexBytes = payload + kMeshHeader;
    const char *cornerBytes = vertexBytes + 12 * numVertices;
    // An import refuses coordinates that are not finite; a child that sends
    // them has not run the import as it should.
    for (std::int64_t i = 0; i < 3 * numVertices; i++) {
        float coordinate;
        std::memcpy(&coordinate, vertexBytes + 4 * i, sizeof coordinate);
        if (!std::isfinite(coordinate)) return nullptr;
    }
    for (std::int64_t i = 0; i < 3 * numTris; i++) {
        std::int32_t corner;
        std::memcpy(&corner, cornerBytes + 4 * i, sizeof corner);
        if (corner < 0 || corner >= numVertices) return nullptr;
    }
    Shape shape = createShape(static_cast<int>(numVertices), static_cast<int>(numTris));
    if (shape == nullptr || shape->vTable == nullptr || shape->tTable == nullptr) {
        destroyShape(shape);
        *reason = "is too large for the memory available";
        return nullptr;
    }
    std::memcpy(shape->vTable, vertexBytes, 12 * numVertices);
    std::memcpy(shape->tTable, cornerBytes, 12 * numTris);
    leftOut->points = header[2];
    leftOut->lines = header[3];
    return shape;
}
