// The simple binary form in which an import's child process hands its
// result to the converter over a pipe: a sequence of frames, each a tag
// byte, a payload length (8 bytes, host order) and the payload.
//   'p'  progress: one float, the share done from 0 to 1
//   'e'  the import failed: the reason as text
//   'm'  the mesh: four int64 (vertex count V, triangle count T, points and
//        lines left out), then 3V floats and 3T int32 vertex numbers
// A stream holds any number of 'p' frames, then exactly one 'e' or 'm'.
#ifndef CONVERTER_MESH_WIRE_H
#define CONVERTER_MESH_WIRE_H

#include <cstdint>
#include <string>

#include "mesh_convert.h"
#include "shape.h"

// The longest reason an 'e' frame may carry; sendFailure cuts longer ones.
const std::size_t kMaxReasonBytes = 1024;

// Writers for the child. Each returns false when the pipe takes no more.
bool sendProgress(int fd, float share);
bool sendFailure(int fd, const std::string &reason);
bool sendMesh(int fd, const MeshData &mesh);

// Takes the complete 'p' frames off the front of `pending`, passing each
// share to `progress`; the rest (an unfinished or a final frame) stays.
void takeProgressFrames(std::string *pending, void (*progress)(double share));

// Checks what has arrived of the final frame (what takeProgressFrames left)
// against what it can be: a reason of at most kMaxReasonBytes, or a mesh
// whose counts are in range and agree with its length, which is at most
// `maxMeshBytes` (what the child could have held), and nothing after the
// frame's end. Call it each time more has arrived, so that a child sending
// without end is stopped as soon as its stream is too long to be a result.
//   Returns true while the stream can still become a valid result; false,
//   with the reason in *reason, once it cannot.
bool finalFrameInBounds(const std::string &pending, std::uint64_t maxMeshBytes, std::string *reason);

// Reads the final frame, which must be all of `bytes`. The bytes are not
// trusted: the counts must agree with the bytes actually received, each
// lie in 1 .. INT_MAX, every coordinate must be finite, and every vertex
// number must name a vertex.
//   Returns: a new shape (release it with destroyShape), with *leftOut
//   filled; or null with the reason in *reason: the child's own for an
//   'e' frame (made safe for a terminal, terminal_text.h), otherwise one
//   saying the result was malformed, or that the shape's tables could not
//   be allocated.
Shape receiveMesh(const std::string &bytes, LeftOut *leftOut, std::string *reason);

#endif
