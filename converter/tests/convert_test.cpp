// bsv2-convert as a real process, on mesh files the tests write themselves:
// what it makes of each format, round trips, --fit, and every failure with
// its status and message, leaving nothing behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "landlock.h"
#include "memory_limit.h"
#include "process.h"
#include "shape.h"
#include "test_files.h"
#include "view_fit.h"

namespace {

const std::string kConverter = CONVERTER_PATH;

Finished convert(const std::vector<std::string> &args, const ScratchDir &dir) {
    std::vector<std::string> argv = {kConverter};
    argv.insert(argv.end(), args.begin(), args.end());
    return runToEnd(argv, dir.root);
}

std::vector<std::string> filesIn(const std::string &directory) {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(directory)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

using Position = std::array<float, 3>;
using Triangle = std::array<Position, 3>;

Position positionOf(const Shape_Typ &shape, int vertex) {
    const float *v = shape.vTable + 3 * vertex;
    return {v[0], v[1], v[2]};
}

// The triangles as positions, each turned to start at its smallest corner
// (keeping its winding) and the list sorted, so that shapes with the same
// triangles compare equal however their vertices are numbered.
std::vector<Triangle> trianglesOf(const Shape_Typ &shape) {
    std::vector<Triangle> triangles;
    for (int j = 0; j < shape.numTris; j++) {
        Triangle t = {positionOf(shape, shape.tTable[3 * j]), positionOf(shape, shape.tTable[3 * j + 1]),
                      positionOf(shape, shape.tTable[3 * j + 2])};
        std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
        triangles.push_back(t);
    }
    std::sort(triangles.begin(), triangles.end());
    return triangles;
}

// Loads a BSV2 file the converter wrote and checks what every one must be.
Shape loadConverted(const std::string &path) {
    Shape shape = readShapeFromFile(path.c_str());
    EXPECT_NE(shape, nullptr) << path;
    if (shape == nullptr) return nullptr;
    for (int i = 0; i < 3 * shape->numTris; i++) {
        EXPECT_TRUE(shape->tTable[i] >= 0 && shape->tTable[i] < shape->numVertices);
    }
    return shape;
}

const std::string kCubeWithQuads =
    "# a cube of side 2, six quads, and a line and a point to be left out\n"
    "v -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nv -1 -1 1\nv 1 -1 1\nv 1 1 1\nv -1 1 1\n"
    "f 1 2 3 4\nf 5 8 7 6\nf 1 5 6 2\nf 2 6 7 3\nf 3 7 8 4\nf 5 1 4 8\nl 1 7\np 3\n";

TEST(Convert, CubeOfQuadsBecomesTwelveTrianglesOnEightVertices) {
    ScratchDir dir;
    std::string input = dir.write("cube.obj", kCubeWithQuads);
    Finished run = convert({input, dir.path("cube.bsv2")}, dir);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, dir.path("cube.bsv2") + ": 8 vertices, 12 triangles (left out 1 point and 1 line)\n");
    Shape cube = loadConverted(dir.path("cube.bsv2"));
    ASSERT_NE(cube, nullptr);
    ASSERT_EQ(cube->numVertices, 8);
    ASSERT_EQ(cube->numTris, 12);
    for (int i = 0; i < 24; i++) EXPECT_EQ(std::fabs(cube->vTable[i]), 1.0f);
    // Each face of the cube (a coordinate fixed at +1 or -1) holds exactly
    // two of the triangles: its quad, split in two.
    for (int axis = 0; axis < 3; axis++) {
        for (float side : {-1.0f, 1.0f}) {
            int onFace = 0;
            for (const Triangle &t : trianglesOf(*cube)) {
                onFace += t[0][axis] == side && t[1][axis] == side && t[2][axis] == side;
            }
            EXPECT_EQ(onFace, 2) << "axis " << axis << " side " << side;
        }
    }
    destroyShape(cube);
}

const std::string kTetrahedronStlFacets[4][3] = {
    {"0 0 0", "0 1 0", "1 0 0"}, {"0 0 0", "1 0 0", "0 0 1"}, {"0 0 0", "0 0 1", "0 1 0"}, {"1 0 0", "0 1 0", "0 0 1"}};

std::string asciiStlTetrahedron() {
    std::string text = "solid tetra\n";
    for (const auto &facet : kTetrahedronStlFacets) {
        text += "facet normal 0 0 0\n outer loop\n";
        for (const std::string &vertex : facet) text += "  vertex " + vertex + "\n";
        text += " endloop\nendfacet\n";
    }
    return text + "endsolid tetra\n";
}

std::string binaryStlTetrahedron() {
    std::string bytes(80, ' ');
    std::uint32_t count = 4;
    bytes.append(reinterpret_cast<const char *>(&count), 4);
    for (const auto &facet : kTetrahedronStlFacets) {
        float values[12] = {0};  // normal, then three corners
        for (int c = 0; c < 3; c++)
            std::sscanf(facet[c].c_str(), "%f %f %f", &values[3 + 3 * c], &values[4 + 3 * c], &values[5 + 3 * c]);
        bytes.append(reinterpret_cast<const char *>(values), sizeof values);
        bytes.append(2, '\0');  // attribute byte count
    }
    return bytes;
}

// A glTF triangle whose positions and indices are in the file `bufferUri`
// names (gltfTriangleBuffer).
std::string gltfTriangle(const std::string &bufferUri) {
    return "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[0]}],\"nodes\":[{\"mesh\":0}],"
           "\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":0},\"indices\":1}]}],"
           "\"buffers\":[{\"uri\":\"" +
           bufferUri +
           "\",\"byteLength\":48}],\"bufferViews\":[{\"buffer\":0,\"byteOffset\":0,\"byteLength\":36},"
           "{\"buffer\":0,\"byteOffset\":36,\"byteLength\":12}],\"accessors\":[{\"bufferView\":0,"
           "\"componentType\":5126,\"count\":3,\"type\":\"VEC3\",\"min\":[0,0,0],\"max\":[1,1,0]},"
           "{\"bufferView\":1,\"componentType\":5125,\"count\":3,\"type\":\"SCALAR\"}]}";
}

std::string gltfTriangleBuffer() {
    float positions[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    std::uint32_t indices[3] = {0, 1, 2};
    return std::string(reinterpret_cast<const char *>(positions), sizeof positions) +
           std::string(reinterpret_cast<const char *>(indices), sizeof indices);
}

struct FormatCase {
    const char *name;
    const char *fileName;
    std::string (*content)();
    int numVertices, numTris;
    const char *companionName = nullptr;  // a file the mesh names, written beside it
    std::string (*companion)() = nullptr;
};

class ConvertsFormat : public testing::TestWithParam<FormatCase> {};

TEST_P(ConvertsFormat, IntoBsv2WithJoinedVerticesInRange) {
    const FormatCase &c = GetParam();
    ScratchDir dir;
    std::string input = dir.write(c.fileName, c.content());
    if (c.companion != nullptr) dir.write(c.companionName, c.companion());
    Finished run = convert({input, dir.path("out.bsv2")}, dir);
    ASSERT_EQ(run.status, 0) << run.err;
    Shape shape = loadConverted(dir.path("out.bsv2"));
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(shape->numVertices, c.numVertices);
    EXPECT_EQ(shape->numTris, c.numTris);
    for (int i = 0; i < 3 * shape->numVertices; i++) {
        EXPECT_TRUE(shape->vTable[i] == 0 || shape->vTable[i] == 1 || shape->vTable[i] == 0.5f) << shape->vTable[i];
    }
    destroyShape(shape);
}

INSTANTIATE_TEST_SUITE_P(
    Convert, ConvertsFormat,
    testing::Values(FormatCase{"AsciiStl", "tetra.stl", asciiStlTetrahedron, 4, 4},
                    FormatCase{"BinaryStl", "tetra.stl", binaryStlTetrahedron, 4, 4},
                    FormatCase{
                        "AsciiPlyWithAQuad", "square.ply",
                        [] {
                            return std::string(
                                "ply\nformat ascii 1.0\nelement vertex 5\nproperty float x\nproperty float y\n"
                                "property float z\nelement face 2\nproperty list uchar int vertex_indices\nend_header\n"
                                "0 0 0\n1 0 0\n1 1 0\n0 1 0\n0.5 0.5 1\n4 0 1 2 3\n3 0 1 4\n");
                        },
                        5, 3},
                    FormatCase{"OffPyramid", "pyramid.off",
                               [] {
                                   return std::string(
                                       "OFF\n5 5 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n0.5 0.5 1\n"
                                       "4 3 2 1 0\n3 0 1 4\n3 1 2 4\n3 2 3 4\n3 3 0 4\n");
                               },
                               5, 6},
                    FormatCase{"GltfWithItsBufferBeside", "triangle.gltf", [] { return gltfTriangle("triangle.bin"); },
                               3, 1, "triangle.bin", gltfTriangleBuffer}),
    [](const testing::TestParamInfo<FormatCase> &info) { return std::string(info.param.name); });

// A shape with coordinates that every format keeps exactly.
std::string bsv2Sample() {
    return "BSV2\n5\n4\n0 0 0\n1.5 0 0\n0 2.25 0\n0 0 -3\n-0.5 4 8\n0 1 2\n0 2 3\n0 3 1\n1 2 4\n";
}

class RoundTrip : public testing::TestWithParam<const char *> {};

TEST_P(RoundTrip, KeepsCountsCoordinatesAndTriangles) {
    ScratchDir dir;
    std::string original = dir.write("original.bsv2", bsv2Sample());
    std::string middle = dir.path(std::string("middle") + GetParam());
    Finished out = convert({original, middle}, dir);
    ASSERT_EQ(out.status, 0) << out.err;
    Finished back = convert({middle, dir.path("back.bsv2")}, dir);
    ASSERT_EQ(back.status, 0) << back.err;
    Shape before = loadConverted(original);
    Shape after = loadConverted(dir.path("back.bsv2"));
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->numVertices, before->numVertices);
    EXPECT_EQ(after->numTris, before->numTris);
    EXPECT_EQ(trianglesOf(*after), trianglesOf(*before));
    destroyShape(before);
    destroyShape(after);
}

INSTANTIATE_TEST_SUITE_P(Convert, RoundTrip, testing::Values(".obj", ".ply", ".stl", ".glb", ".bsv2"),
                         [](const testing::TestParamInfo<const char *> &info) { return std::string(info.param + 1); });

// BSV2 is the one output that holds them: the same counts and values back,
// byte for byte as the library writes them.
TEST(Convert, Bsv2KeepsNonFiniteCoordinates) {
    ScratchDir dir;
    const std::string canonical =
        "BSV2\n4\n2\n0.000000 0.000000 0.000000\nnan 1.000000 0.000000\n0.000000 inf 0.000000\n"
        "-inf 0.000000 1.000000\n0 1 2\n0 2 3\n";
    Finished run = convert({dir.write("original.bsv2", canonical), dir.path("back.bsv2")}, dir);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readWholeFile(dir.path("back.bsv2")), canonical);
}

struct FitCase {
    const char *name;
    std::string mesh;
};

class Fit : public testing::TestWithParam<FitCase> {};

// Checked with the viewer's camera and projection: every vertex in view, and
// the outermost near the edge.
TEST_P(Fit, PutsEveryVertexInViewAndFillsMostOfIt) {
    ScratchDir dir;
    std::string input = dir.write("mesh.obj", GetParam().mesh);
    Finished run = convert({"--fit", input, dir.path("fitted.bsv2")}, dir);
    ASSERT_EQ(run.status, 0) << run.err;
    Shape shape = loadConverted(dir.path("fitted.bsv2"));
    ASSERT_NE(shape, nullptr);
    double widest = 0;
    for (int k = 0; k < shape->numVertices; k++) {
        ViewedPoint seen = viewPoint(shape->vTable + 3 * k);
        EXPECT_TRUE(seen.visible) << "vertex " << k;
        widest = std::max({widest, std::fabs(seen.x), std::fabs(seen.y)});
    }
    EXPECT_LE(widest, 0.91);
    EXPECT_GE(widest, 0.85);
    destroyShape(shape);
}

std::string boxObj(float x0, float y0, float z0, float dx, float dy, float dz) {
    std::string text;
    for (int i = 0; i < 8; i++) {
        text += "v " + std::to_string(x0 + (i & 1 ? dx : 0)) + " " + std::to_string(y0 + (i & 2 ? dy : 0)) + " " +
                std::to_string(z0 + (i & 4 ? dz : 0)) + "\n";
    }
    return text + "f 1 2 4 3\nf 5 7 8 6\nf 1 5 6 2\nf 3 4 8 7\nf 1 3 7 5\nf 2 6 8 4\n";
}

INSTANTIATE_TEST_SUITE_P(Convert, Fit,
                         testing::Values(FitCase{"Tiny", boxObj(0, 0, 0, 0.001f, 0.002f, 0.001f)},
                                         FitCase{"HugeAndFarAway", boxObj(100000, -50000, 300000, 20000, 10000, 30000)},
                                         FitCase{"FlatSheet", boxObj(-5, -5, 0, 10, 10, 0)},
                                         FitCase{"LongRod", boxObj(0, 0, 0, 1000, 1, 1)},
                                         FitCase{"AlreadyInView", boxObj(-1, -1, 1, 2, 1, 2)}),
                         [](const testing::TestParamInfo<FitCase> &info) { return std::string(info.param.name); });

// What a refusal needs before it can be seen.
enum class Needs {
    kNothing,
    kMemoryCap,  // the import's address-space cap, which AddressSanitizer cannot run under
    kLandlock,   // only Landlock keeps an import from reading what it names elsewhere
};

enum class Disk {
    kRoomy,
    kFull,  // no file may grow past 1 KiB, as on a full disk
};

struct FailureCase {
    const char *name;
    // Split at spaces; "@NAME" is the path of NAME in the scratch folder,
    // made by makeScratchFile when it is one the rows use.
    const char *args;
    int status;
    std::string namedFile;  // the file the message names, in the scratch folder
    std::string reason;     // part of the message
    Needs needs = Needs::kNothing;
    Disk disk = Disk::kRoomy;
    // When not empty, the output extensions, split at spaces, that the row
    // is run into in turn, each taking the place of "%" in args and namedFile.
    const char *eachFormat = "";
};

// The converter with `args` where a file may not grow past 1 KiB; SIGXFSZ
// is ignored, so that the write fails with EFBIG instead of killing it.
Finished convertOnAFullDisk(const std::vector<std::string> &args, const ScratchDir &dir) {
    std::vector<std::string> argv = {"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 1; exec \"$0\" \"$@\"", kConverter};
    argv.insert(argv.end(), args.begin(), args.end());
    return runToEnd(argv, dir.root);
}

// A mesh big enough to take Assimp well over a tenth of a second.
std::string slowObj() {
    std::string text;
    for (int i = 0; i < 300000; i++) text += "v " + std::to_string(i) + " 0.5 1\n";
    for (int i = 1; i + 2 <= 300000; i += 3)
        text += "f " + std::to_string(i) + " " + std::to_string(i + 1) + " " + std::to_string(i + 2) + "\n";
    return text;
}

std::string truncatedBinaryPly() {
    std::string bytes =
        "ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
        "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n";
    float corners[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    bytes.append(reinterpret_cast<const char *>(corners), sizeof corners - 5);
    return bytes;
}

// The bytes of a scratch file the refusal rows use, or "" for a name
// they do not.
std::string scratchBytes(const std::string &name) {
    static const std::map<std::string, std::string> literal = {
        {"cube.obj", kCubeWithQuads},
        {"zero.bsv2", "BSV2\n0\n0\n"},
        {"points.bsv2", "BSV2\n2\n0\n0 0 0\n1 1 1\n"},
        {"garbage.obj", "this is not a mesh\n"},
        {"lines.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nl 1 2\nl 2 3\n"},
        {"huge.off", "OFF\n3 1000000000 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n"},
        {"nonfinite.bsv2", "BSV2\n4\n2\n0 0 0\nnan 1 0\n0 inf 0\n-inf 0 1\n0 1 2\n0 2 3\n"},
        {"infinite.obj", "v 1e999 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nf 1 2 3\nf 2 3 4\n"},
    };
    auto found = literal.find(name);
    if (found != literal.end()) return found->second;
    if (name == "slow.obj") return slowObj();
    // More than 1 KiB in every format.
    if (name == "many.obj") return separateTrianglesObj(2000);
    if (name == "cut.ply") return truncatedBinaryPly();
    if (name == "cut.stl") return binaryStlTetrahedron().substr(0, 84 + 2 * 50 + 17);
    if (name == "model/outside.gltf") return gltfTriangle("../outside.bin");
    return "";
}

// Makes the scratch file NAME when the rows use it: its bytes, a folder in
// the way of an output (taken.bsv2), a link to nothing (dangling.bsv2), or
// a glTF with the buffer it names outside its folder.
void makeScratchFile(const ScratchDir &dir, const std::string &name) {
    std::string bytes = scratchBytes(name);
    if (name == "taken.bsv2") std::filesystem::create_directory(dir.path(name));
    if (name == "dangling.bsv2") std::filesystem::create_symlink("nowhere", dir.path(name));
    if (name == "model/outside.gltf") std::filesystem::create_directory(dir.path("model"));
    if (name == "model/outside.gltf") dir.write("outside.bin", gltfTriangleBuffer());
    if (!bytes.empty()) dir.write(name, bytes);
}

std::vector<std::string> words(const std::string &text) {
    std::istringstream stream(text);
    std::vector<std::string> split;
    for (std::string word; stream >> word;) split.push_back(word);
    return split;
}

std::string withFormat(std::string text, const std::string &format) {
    std::size_t at = text.find('%');
    return at == std::string::npos ? text : text.replace(at, 1, format);
}

class Refuses : public testing::TestWithParam<FailureCase> {};

TEST_P(Refuses, WithOneLineStatusAndNothingLeftBehind) {
    const FailureCase &c = GetParam();
#ifdef BSV2_UNDER_ASAN
    if (c.needs == Needs::kMemoryCap) GTEST_SKIP() << "no address-space cap under AddressSanitizer";
#endif
    if (c.needs == Needs::kLandlock && landlockVersion() == 0) GTEST_SKIP() << "this kernel has no Landlock";
    std::vector<std::string> formats = words(c.eachFormat);
    if (formats.empty()) formats.push_back("");
    for (const std::string &format : formats) {
        SCOPED_TRACE(format);
        ScratchDir dir;
        std::vector<std::string> args;
        for (const std::string &arg : words(withFormat(c.args, format))) {
            if (arg[0] == '@') makeScratchFile(dir, arg.substr(1));
            args.push_back(arg[0] == '@' ? dir.path(arg.substr(1)) : arg);
        }
        std::vector<std::string> before = filesIn(dir.root);
        Finished run = c.disk == Disk::kFull ? convertOnAFullDisk(args, dir) : convert(args, dir);
        EXPECT_EQ(run.status, c.status);
        std::string named = dir.path(withFormat(c.namedFile, format));
        EXPECT_EQ(run.err.rfind("bsv2-convert: " + named + ": ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(filesIn(dir.root), before);
    }
}

const FailureCase kFailureCases[] = {
    {"MissingInput", "@none.obj @out.bsv2", 2, "none.obj", "Unable to open"},
    {"GarbageInput", "@garbage.obj @out.bsv2", 2, "garbage.obj", "At least one mesh must be there"},
    {"RefusedBsv2Input", "@zero.bsv2 @out.obj", 2, "zero.bsv2", "You can't have less than 0 vertices!"},
    {"InputWithoutTriangles", "@lines.obj @out.bsv2", 2, "lines.obj", "has no triangles"},
    {"Bsv2WithoutTrianglesToObj", "@points.bsv2 @out.obj", 2, "points.bsv2", "has no triangles"},
    {"OutputInMissingDirectory", "@cube.obj @no/dir/out.bsv2", 3, "no/dir/out.bsv2", "No such file or directory"},
    {"OutputUnderAFile", "@cube.obj @cube.obj/out.stl", 3, "cube.obj/out.stl", "Not a directory"},
    {"OutputIsADirectory", "@cube.obj @taken.bsv2", 3, "taken.bsv2", "Is a directory"},
    {"OffClaimingABillionFaces", "@huge.off @out.bsv2", 2, "huge.off",
     "the importer says it ran out of memory (its cap is ", Needs::kMemoryCap},
    {"ImportOverItsMemoryCap", "--max-memory 16 @cube.obj @out.bsv2", 2, "cube.obj",
     "the importer says it ran out of memory (its cap is 16 MiB)", Needs::kMemoryCap},
    {"ImportOverItsTime", "--timeout 0.01 @slow.obj @out.bsv2", 2, "slow.obj",
     "took longer than 0.01 s; use --timeout to allow more"},
    {"TruncatedBinaryPly", "@cut.ply @out.bsv2", 2, "cut.ply", "is out of range"},
    {"TruncatedBinaryStl", "@cut.stl @out.bsv2", 2, "cut.stl", "Failed to determine STL storage representation"},
    {"NonFiniteToEveryOtherFormat", "@nonfinite.bsv2 @out.%", 2, "nonfinite.bsv2", "infinite or not a number",
     Needs::kNothing, Disk::kRoomy, "obj ply stl glb"},
    {"UnknownOutputFormat", "@cube.obj @out.xyz", 1, "out.xyz", "unknown output format"},
    {"NonFiniteImport", "@infinite.obj @out.bsv2", 2, "infinite.obj",
     "has 1 vertex whose coordinates are not finite (infinite or not a number)"},
    {"OutputALinkToNothing", "@cube.obj @dangling.bsv2", 3, "dangling.bsv2", "is a symbolic link to nothing"},
    {"DiskFullInEveryFormat", "@many.obj @out.%", 3, "out.%", "File too large", Needs::kNothing, Disk::kFull,
     "obj ply stl glb bsv2"},
    {"GltfNamingABufferOutsideItsFolder", "@model/outside.gltf @out.bsv2", 2, "model/outside.gltf", "outside.bin",
     Needs::kLandlock},
};

INSTANTIATE_TEST_SUITE_P(Convert, Refuses, testing::ValuesIn(kFailureCases),
                         [](const testing::TestParamInfo<FailureCase> &info) { return std::string(info.param.name); });

// Every file that ever crashed, hung or exhausted the converter: now one
// line and status 2, within the timeout, and no output.
TEST(Convert, SurvivesEveryFileThatEverBrokeIt) {
    int files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(CONVERT_REGRESSIONS_DIR)) {
        std::string name = entry.path().filename();
#ifdef BSV2_UNDER_ASAN
        if (name.rfind("memory-", 0) == 0) continue;  // no address-space cap under AddressSanitizer
#endif
        files++;
        ScratchDir dir;
        double start = secondsNow();
        Finished run = convert({"--timeout", "1", entry.path(), dir.path("out.bsv2")}, dir);
        EXPECT_LT(secondsNow() - start, 6) << name;
        EXPECT_EQ(run.status, 2) << name;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << name << ": " << run.err;
        EXPECT_FALSE(fileExists(dir.path("out.bsv2"))) << name;
    }
    EXPECT_GE(files, 4);
}

// A write that fails part way, here at a file size limit of 1 KiB: the
// output that was there before stays as it was, and no partial file remains.
TEST(Convert, FailedWriteLeavesTheOldOutputWhole) {
    ScratchDir dir;
    std::string input = dir.write("big.obj", separateTrianglesObj(2000));  // more than 1 KiB as BSV2
    std::string output = dir.write("out.bsv2", "BSV2\n1\n0\n1 2 3\n");
    std::vector<std::string> before = filesIn(dir.root);
    Finished run = convertOnAFullDisk({input, output}, dir);
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.err, "bsv2-convert: " + output + ": File too large\n");
    EXPECT_EQ(readWholeFile(output), "BSV2\n1\n0\n1 2 3\n");
    EXPECT_EQ(filesIn(dir.root), before);
}

// Replacing an output keeps what the user set up: its permission bits, and
// a link (the file it leads to is replaced, the link stays).
TEST(Convert, ReplacedOutputKeepsItsPermissionsAndItsLink) {
    ScratchDir dir;
    std::string input = dir.write("cube.obj", kCubeWithQuads);
    std::string secret = dir.write("private.bsv2", "old");
    chmod(secret.c_str(), 0600);
    std::filesystem::create_directory(dir.path("real"));
    std::string target = dir.write("real/target.bsv2", "old");
    std::filesystem::create_symlink("real/target.bsv2", dir.path("link.bsv2"));
    ASSERT_EQ(convert({input, secret}, dir).status, 0);
    ASSERT_EQ(convert({input, dir.path("link.bsv2")}, dir).status, 0);
    struct stat info;
    ASSERT_EQ(stat(secret.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    ASSERT_EQ(lstat(dir.path("link.bsv2").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(readWholeFile(target), readWholeFile(secret));
    EXPECT_EQ(readWholeFile(target).substr(0, 10), "BSV2\n8\n12\n");
    EXPECT_EQ(filesIn(dir.path("real")), std::vector<std::string>{"target.bsv2"});
}

}  // namespace
