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
const char kMalformed[] = "the importer returned a malformed result";
const char kTooLong[] = "the importer sent more than a result can hold";

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

// Whether a frame with this header can be part of a result; the reason in
// *reason when not.
bool headerAllowed(char tag, std::uint64_t length, std::uint64_t maxMeshBytes, std::string *reason) {
    *reason = kMalformed;
    if (tag == 'p') return length == sizeof(float);
    if (tag == 'o') return length == 0;
    if (tag == 'm' && length < kMeshHeader) return false;
    if (tag != 'e' && tag != 'm') return false;
    *reason = kTooLong;
    return length <= (tag == 'e' ? kMaxReasonBytes : maxMeshBytes);
}

// The bytes the frame begun in `pending` needs before it can be taken: its
// header, then a whole progress frame, reason or out-of-memory frame, or a
// mesh's counts (its tables are not kept here).
std::size_t bytesNeeded(const std::string &pending) {
    if (pending.size() < kFrameHeader) return kFrameHeader;
    if (pending[0] == 'm') return kFrameHeader + kMeshHeader;
    return kFrameHeader + frameLength(pending);
}

// Makes the shape a mesh frame's counts (the whole of `pending`) announce.
bool startMesh(WireReceiver *receiver, std::string *reason) {
    std::int64_t header[4];
    std::memcpy(header, receiver->pending.data() + kFrameHeader, sizeof header);
    *reason = kMalformed;
    if (!meshHeaderValid(header, receiver->length)) return false;
    Shape shape = createShape(static_cast<int>(header[0]), static_cast<int>(header[1]));
    if (shape == nullptr || shape->vTable == nullptr || shape->tTable == nullptr) {
        destroyShape(shape);
        *reason = bsv2CauseText(BSV2_CAUSE_NO_MEMORY);  // the reason the library's reader gives
        return false;
    }
    receiver->shape = shape;
    receiver->leftOut[0] = header[2];
    receiver->leftOut[1] = header[3];
    receiver->pending.clear();
    return true;
}

// Copies up to `size` bytes into the mesh's tables, vertices first.
// Returns how many it took: none once they are full.
std::size_t fillTables(WireReceiver *receiver, const char *data, std::size_t size) {
    Shape shape = receiver->shape;
    std::uint64_t vertexBytes = 12 * static_cast<std::uint64_t>(shape->numVertices);
    std::uint64_t tableBytes = vertexBytes + 12 * static_cast<std::uint64_t>(shape->numTris);
    std::size_t taken = 0;
    while (taken < size && receiver->filled < tableBytes) {
        bool vertices = receiver->filled < vertexBytes;
        char *to = vertices ? reinterpret_cast<char *>(shape->vTable) + receiver->filled
                            : reinterpret_cast<char *>(shape->tTable) + (receiver->filled - vertexBytes);
        std::uint64_t room = (vertices ? vertexBytes : tableBytes) - receiver->filled;
        std::size_t now = static_cast<std::size_t>(std::min<std::uint64_t>(size - taken, room));
        std::memcpy(to, data + taken, now);
        receiver->filled += now;
        taken += now;
    }
    receiver->complete = receiver->filled == tableBytes;
    return taken;
}

// An import refuses coordinates that are not finite; a child that sends
// them, or vertex numbers naming no vertex, has not run the import as it
// should.
bool meshValid(Shape shape) {
    if (!allCoordinatesFinite(shape)) return false;
    for (long i = 0; i < 3L * shape->numTris; i++) {
        if (shape->tTable[i] < 0 || shape->tTable[i] >= shape->numVertices) return false;
    }
    return true;
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

bool sendOutOfMemory(int fd) { return sendFrameHeader(fd, 'o', 0); }

bool sendMesh(int fd, const MeshData &mesh) {
    std::size_t vertexBytes = mesh.vertices.size() * sizeof(float);
    std::size_t cornerBytes = mesh.corners.size() * sizeof(int);
    std::int64_t header[4] = {static_cast<std::int64_t>(mesh.vertices.size() / 3),
                              static_cast<std::int64_t>(mesh.corners.size() / 3), mesh.leftOut.points,
                              mesh.leftOut.lines};
    return sendFrameHeader(fd, 'm', kMeshHeader + vertexBytes + cornerBytes) && writeAll(fd, header, sizeof header) &&
           writeAll(fd, mesh.vertices.data(), vertexBytes) && writeAll(fd, mesh.corners.data(), cornerBytes);
}

bool takeWireBytes(WireReceiver *receiver, const char *data, std::size_t size, std::uint64_t maxMeshBytes,
                   void (*progress)(double share), std::string *reason) {
    while (size > 0) {
        if (receiver->complete) {
            *reason = kTooLong;  // nothing may follow the final frame
            return false;
        }
        if (receiver->shape != nullptr) {
            std::size_t taken = fillTables(receiver, data, size);
            data += taken;
            size -= taken;
            continue;
        }
        std::string &pending = receiver->pending;
        std::size_t now = std::min(size, bytesNeeded(pending) - pending.size());
        pending.append(data, now);
        data += now;
        size -= now;
        if (pending.size() == kFrameHeader && !headerAllowed(pending[0], frameLength(pending), maxMeshBytes, reason))
            return false;
        if (pending.size() < bytesNeeded(pending)) continue;
        receiver->tag = pending[0];
        receiver->length = frameLength(pending);
        if (receiver->tag == 'm') {
            if (!startMesh(receiver, reason)) return false;
        } else if (receiver->tag == 'p') {
            float share;
            std::memcpy(&share, pending.data() + kFrameHeader, sizeof share);
            if (share >= 0 && share <= 1) progress(share);
            pending.clear();
        } else {
            receiver->complete = true;
        }
    }
    return true;
}

WireResult wireResult(WireReceiver *receiver, Shape *shape, LeftOut *leftOut, std::string *reason) {
    if (!receiver->complete) return WireResult::kNone;
    if (receiver->tag == 'o') return WireResult::kOutOfMemory;
    if (receiver->tag == 'e') {
        // The text goes into the converter's one line on a terminal.
        *reason = terminalText(receiver->pending.substr(kFrameHeader));
        if (reason->empty()) *reason = "cannot be read";
        return WireResult::kFailure;
    }
    if (!meshValid(receiver->shape)) {
        *reason = kMalformed;
        return WireResult::kMalformed;
    }
    *shape = receiver->shape;
    receiver->shape = nullptr;
    leftOut->points = receiver->leftOut[0];
    leftOut->lines = receiver->leftOut[1];
    return WireResult::kMesh;
}

void releaseWire(WireReceiver *receiver) {
    destroyShape(receiver->shape);
    receiver->shape = nullptr;
}

bool allCoordinatesFinite(Shape shape) {
    for (long i = 0; i < 3L * shape->numVertices; i++) {
        if (!std::isfinite(shape->vTable[i])) return false;
    }
    return true;
}
