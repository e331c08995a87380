#include "mesh_convert.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <array>
#include <assimp/Importer.hpp>
#include <assimp/ProgressHandler.hpp>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace {

// Passes Assimp's progress on.
class ImportProgress : public Assimp::ProgressHandler {
public:
    explicit ImportProgress(const std::function<void(float)> &report) : report_(report) {}
    bool Update(float share) override {
        if (share >= 0 && report_) report_(share);
        return true;  // never cancel
    }

private:
    std::function<void(float)> report_;
};

using PositionKey = std::array<std::uint32_t, 3>;

struct PositionHash {
    std::size_t operator()(const PositionKey &key) const {
        std::uint64_t h = key[0];
        h = h * 0x9E3779B97F4A7C15ULL ^ key[1];
        h = h * 0x9E3779B97F4A7C15ULL ^ key[2];
        return static_cast<std::size_t>(h ^ (h >> 29));
    }
};

// Bit patterns of a position, with -0 and +0 made one.
PositionKey keyOf(const aiVector3D &p) {
    PositionKey key;
    float coordinates[3] = {p.x + 0.0f, p.y + 0.0f, p.z + 0.0f};
    std::memcpy(key.data(), coordinates, sizeof coordinates);
    return key;
}

}  // namespace

bool importMesh(const char *path, MeshData *mesh, std::string *reason, const std::function<void(float)> &progress) {
    Assimp::Importer importer;
    importer.SetProgressHandler(new ImportProgress(progress));  // the importer owns it
    // Triangulate splits polygons; PreTransformVertices applies the node
    // transforms, so that every mesh is in the scene's own space.
    const aiScene *scene = importer.ReadFile(
        path, aiProcess_Triangulate | aiProcess_PreTransformVertices | aiProcess_ValidateDataStructure);
    if (scene == nullptr) {
        *reason = importer.GetErrorString();
        if (reason->empty()) *reason = "cannot be read";
        return false;
    }

    // Joining by bit pattern would make every NaN one vertex, and no output
    // format can hold such a mesh faithfully: refuse, saying how much is
    // wrong.
    long notFinite = 0;
    for (unsigned m = 0; m < scene->mNumMeshes; m++) {
        const aiMesh *part = scene->mMeshes[m];
        if ((part->mPrimitiveTypes & aiPrimitiveType_TRIANGLE) == 0) continue;
        for (unsigned k = 0; k < part->mNumVertices; k++) {
            const aiVector3D &p = part->mVertices[k];
            notFinite += !(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
        }
    }
    if (notFinite > 0) {
        *reason = "has " + std::to_string(notFinite) + (notFinite == 1 ? " vertex" : " vertices") +
                  " whose coordinates are not finite (infinite or not a number)";
        return false;
    }

    std::vector<float> &vertices = mesh->vertices;
    std::vector<int> &corners = mesh->corners;
    LeftOut *leftOut = &mesh->leftOut;
    std::unordered_map<PositionKey, int, PositionHash> numberOf;
    for (unsigned m = 0; m < scene->mNumMeshes; m++) {
        const aiMesh *part = scene->mMeshes[m];
        for (unsigned f = 0; f < part->mNumFaces; f++) {
            const aiFace &face = part->mFaces[f];
            if (face.mNumIndices == 1) leftOut->points++;
            if (face.mNumIndices == 2) leftOut->lines++;
            if (face.mNumIndices != 3) continue;
            for (unsigned c = 0; c < 3; c++) {
                // Validation has checked every index against mNumVertices.
                const aiVector3D &position = part->mVertices[face.mIndices[c]];
                auto found = numberOf.find(keyOf(position));
                if (found == numberOf.end()) {
                    if (vertices.size() / 3 >= static_cast<std::size_t>(INT_MAX)) {
                        *reason = "has more vertices than a BSV2 file can hold";
                        return false;
                    }
                    found = numberOf.emplace(keyOf(position), static_cast<int>(vertices.size() / 3)).first;
                    vertices.insert(vertices.end(), {position.x, position.y, position.z});
                }
                corners.push_back(found->second);
            }
            if (corners.size() / 3 >= static_cast<std::size_t>(INT_MAX)) {
                *reason = "has more triangles than a BSV2 file can hold";
                return false;
            }
        }
    }
    if (corners.empty()) {
        *reason = "has no triangles";
        return false;
    }
    return true;
}
