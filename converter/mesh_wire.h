// The simple binary form in which an import's child process hands its
// result to the converter over a pipe: a sequence of frames, each a tag
// byte, a payload length (8 bytes, host order) and the payload.
//   'p'  progress: one float, the share done from 0 to 1
//   'e'  the import failed: the reason as text
//   'o'  the import ran out of memory: no payload
//   'm'  the mesh: four int64 (vertex count V, triangle count T, points and
//        lines left out), then 3V floats and 3T int32 vertex numbers
// A stream holds any number of 'p' frames, then exactly one 'e', 'o' or
// 'm'. Only this final frame says how the import went: the child's exit
// status is no part of the result.
#ifndef CONVERTER_MESH_WIRE_H
#define CONVERTER_MESH_WIRE_H

#include <cstdint>
#include <string>

#include "mesh_convert.h"
#include "shape.h"

// The longest reason an 'e' frame may carry; sendFailure cuts longer ones.
const std::size_t kMaxReasonBytes = 1024;

// Writers for the child. Each returns false when the pipe takes no more;
// none allocates memory, so that sendOutOfMemory can run where the heap
// has none left.
bool sendProgress(int fd, float share);
bool sendFailure(int fd, const std::string &reason);
bool sendOutOfMemory(int fd);
bool sendMesh(int fd, const MeshData &mesh);

// What the final frame turned out to be, once all of it has arrived.
enum class WireResult { kNone, kFailure, kOutOfMemory, kMesh, kMalformed };

// The parent's side: what has arrived of the child's stream. A mesh goes
// straight into the tables of the shape it will be (made once its counts
// have arrived and been checked), so that the parent never holds it twice.
// Release it with releaseWire.
struct WireReceiver {
    std::string pending;               // bytes of frames not taken yet, a reason's included (bounded)
    char tag = 0;                      // the final frame's tag, once its header has arrived
    std::uint64_t length = 0;          // and its payload length
    Shape shape = nullptr;             // a mesh's tables, once its counts have arrived
    std::uint64_t filled = 0;          // bytes of those tables received
    std::int64_t leftOut[2] = {0, 0};  // points and lines, from the mesh's header
    bool complete = false;             // the final frame has arrived whole
};

// Takes the next `size` bytes of the stream: each whole 'p' frame's share
// goes to `progress`, a mesh's tables fill as their bytes arrive. Call it
// each time more has arrived, so that a child sending without end is
// stopped as soon as its stream is too long to be a result.
//   Returns true while the stream can still become a valid result: a
//   reason of at most kMaxReasonBytes, or a mesh whose counts are in range
//   and agree with its length, which is at most `maxMeshBytes` (what the
//   child could have held), and nothing after the final frame. False, with
//   the reason in *reason, once it cannot, or when the shape's tables
//   cannot be allocated.
bool takeWireBytes(WireReceiver *receiver, const char *data, std::size_t size, std::uint64_t maxMeshBytes,
                   void (*progress)(double share), std::string *reason);

// Once the stream has ended: what its final frame said.
//   kMesh: the mesh passed every check (each coordinate finite, each vertex
//     number naming a vertex); *shape is it, now the caller's (release it
//     with destroyShape), and *leftOut is filled.
//   kFailure: *reason is the child's own text, made safe for a terminal
//     (terminal_text.h); "cannot be read" when it is empty.
//   kOutOfMemory: the child says it ran out of memory.
//   kMalformed: a mesh failed a check; *reason says the result was
//     malformed.
//   kNone: no final frame arrived whole.
WireResult wireResult(WireReceiver *receiver, Shape *shape, LeftOut *leftOut, std::string *reason);

// Releases what the receiver still holds (a mesh not handed over).
void releaseWire(WireReceiver *receiver);

// True when every coordinate of `shape` is finite: what an import gives,
// and what every output format but BSV2 can hold faithfully.
bool allCoordinatesFinite(Shape shape);

#endif
