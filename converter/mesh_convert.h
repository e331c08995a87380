// Reading the mesh formats of the Assimp library into one triangle mesh.
#ifndef CONVERTER_MESH_CONVERT_H
#define CONVERTER_MESH_CONVERT_H

#include <functional>
#include <string>
#include <vector>

// What an import left out: BSV2 holds triangles only.
struct LeftOut {
    long points = 0;
    long lines = 0;
};

// One merged triangle mesh, as an import produces it.
struct MeshData {
    std::vector<float> vertices;  // x, y, z per vertex: 3 floats each
    std::vector<int> corners;     // 3 vertex numbers per triangle, counting from 0
    LeftOut leftOut;
};

// Reads any mesh file Assimp knows (OBJ, PLY, STL, OFF, glTF, ...) into one
// mesh: every mesh of the scene with its node transforms applied, polygons
// split into triangles, vertices at the same position joined, and vertices
// used by no triangle dropped. `progress` (may be empty) hears the share
// done, from 0 to 1, as Assimp reports it.
//   Returns: true with the mesh in *mesh; or false with the reason in
//   *reason (Assimp's own where it gives one). A scene with no triangles,
//   with a vertex whose coordinates are not all finite, or with more
//   vertices or triangles than BSV2 counts hold, is refused.
//   Assimp is not hardened against hostile files: call this only where a
//   crash, a hang or a runaway allocation cannot do harm (importIsolated).
bool importMesh(const char *path, MeshData *mesh, std::string *reason, const std::function<void(float)> &progress);

#endif
