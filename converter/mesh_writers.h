// The converter's writers, one per output format: BSV2 through the
// library, and writers of their own for the simple mesh formats, where
// Assimp's exporters cost many times the data's size in time and memory
// (its OBJ exporter joins vertices through a map of every one, its glTF and
// PLY ones copy the scene) and the PLY one does not report a failed write.
// All but BSV2's assume finite coordinates; all assume vertex numbers in
// range.
#ifndef CONVERTER_MESH_WRITERS_H
#define CONVERTER_MESH_WRITERS_H

#include <string>

#include "shape.h"

// Writes the shape as BSV2 through the library, whatever its coordinates.
//   Returns false, with the reason in *reason (the system's, or the
//   library's text for the cause), when the file cannot be written.
bool writeBsv2(Shape shape, const char *path, std::string *reason);

// Writes the shape as OBJ text: "v x y z" per vertex, each coordinate in the
// shortest form that reads back to the same float, then "f a b c" per
// triangle, counting from 1. No normals, no material file.
//   Returns false, with the reason in *reason, when the file cannot be
//   written.
bool writeObj(Shape shape, const char *path, std::string *reason);

// Writes the shape as binary STL: an 80-byte header, the triangle count,
// then per triangle its unit normal (zero for a degenerate triangle), its
// three corners and a zero attribute word, all little-endian.
//   Returns false, with the reason in *reason, when the file cannot be
//   written.
bool writeBinaryStl(Shape shape, const char *path, std::string *reason);

// Writes the shape as binary little-endian PLY: a header declaring the
// vertex element (float x, y, z) and the face element (a uchar count and
// int vertex_indices, the name common readers look for), then the
// vertices and the faces.
//   Returns false, with the reason in *reason, when the file cannot be
//   written.
bool writeBinaryPly(Shape shape, const char *path, std::string *reason);

// Writes the shape as binary glTF 2.0 (.glb): one mesh of one triangle
// primitive, float positions then 32-bit indices in the binary chunk.
//   Returns false, with the reason in *reason, when the file cannot be
//   written or would exceed the format's 4 GiB.
bool writeGlb(Shape shape, const char *path, std::string *reason);

typedef bool (*MeshWriter)(Shape shape, const char *path, std::string *reason);

// An output format, by the extension of the output's name.
struct OutputFormat {
    const char *extension;  // ".bsv2", ".obj", ...: lower case, dot included
    MeshWriter write;
    // BSV2 holds any shape the library reads; the others need triangles,
    // and finite coordinates, since other programs' readers disagree on
    // the rest and some formats cannot hold them at all.
    bool holdsAnyShape;
};

// The format for an output file name's extension (lower case, as
// lowerExtension gives it), or null when there is none; a static record.
const OutputFormat *outputFormatFor(const std::string &extension);

// The extensions there are formats for, as a user reads them:
// ".bsv2, .obj, .ply, .stl or .glb".
std::string outputExtensions();

#endif
