// Between shapes and the mesh formats the Assimp library reads and writes.
#ifndef TOOLS_MESH_CONVERT_H
#define TOOLS_MESH_CONVERT_H

#include <string>

#include "shape.h"

// What an import left out: BSV2 holds triangles only.
struct LeftOut {
    long points = 0;
    long lines = 0;
};

// Reads any mesh file Assimp knows (OBJ, PLY, STL, OFF, glTF, ...) into one
// new shape: every mesh of the scene with its node transforms applied,
// polygons split into triangles, vertices at the same position joined, and
// vertices used by no triangle dropped.
//   Returns: the shape (release it with destroyShape), or null with the
//   reason in *reason (Assimp's own where it gives one). A scene with no
//   triangles, or with more vertices or triangles than BSV2 counts hold, is
//   refused.
Shape importMesh(const char *path, LeftOut *leftOut, std::string *reason);

// The Assimp export format for an output file name's extension (".obj"
// gives OBJ without a material file, ".ply" and ".stl" their binary forms,
// ".glb" binary glTF), or null when it has none of these.
const char *exportFormatFor(const std::string &extension);

// Writes the shape's triangles as one mesh in the Assimp format `formatId`
// to `path`. False, with the reason in *reason, when Assimp fails or the
// shape has no triangles.
bool exportMesh(Shape shape, const char *formatId, const char *path, std::string *reason);

#endif
