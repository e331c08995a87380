// The BSV2 writer: its exact bytes, its results and messages, and what a
// written file reads back as.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "build_shape.h"
#include "shape.h"
#include "stream_capture.h"
#include "test_files.h"

namespace {

struct WrittenCase {
    const char *name;
    Shape (*make)();
    std::string bytes;
};

class WritesShape : public testing::TestWithParam<WrittenCase> {};

TEST_P(WritesShape, ByteForByte) {
    ScratchDir dir;
    std::string path = dir.path("out.bsv2");
    Shape shape = nullptr;
    captureOutput([&] { shape = GetParam().make(); });
    Captured output = captureOutput([&] { EXPECT_EQ(writeShapeToFile(shape, path.c_str()), 0); });
    EXPECT_EQ(output.err, "");
    EXPECT_EQ(readWholeFile(path), GetParam().bytes);
    destroyShape(shape);
}

const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

const WrittenCase kWrittenCases[] = {
    {"OneTriangle",
     [] {
         return buildShape(3, 1, {0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 2});
     },
     "BSV2\n3\n1\n0.000000 0.000000 0.000000\n1.000000 0.000000 0.000000\n0.000000 1.000000 0.000000\n0 1 2\n"},
    {"SixDecimalsOfTheFloatWidened",
     [] {
         return buildShape(2, 0, {1.5f, -0.1f, 123456.789f, 1e-7f, -1e-7f, 0.0078125f}, {});
     },
     "BSV2\n2\n0\n1.500000 -0.100000 123456.789062\n0.000000 -0.000000 0.007812\n"},
    {"InfinitiesAndNotANumbers",
     [] {
         return buildShape(2, 0, {kInf, -kInf, kNaN, -kNaN, 0, -0.0f}, {});
     },
     "BSV2\n2\n0\ninf -inf nan\n-nan 0.000000 -0.000000\n"},
    {"NegativeTriangleCountWritesNoTriangleLines",
     [] {
         return buildShape(1, -1, {1, 2, 3}, {});
     },
     "BSV2\n1\n-1\n1.000000 2.000000 3.000000\n"},
    {"ZeroVerticesIsWrittenAsItIs", [] { return buildShape(0, 0, {}, {}); }, "BSV2\n0\n0\n"},
    {"LargeMagnitudesInFull",
     [] {
         return buildShape(1, 1, {3.4028235e38f, -1e20f, 16777216.0f}, {0, 0, 0});
     },
     "BSV2\n1\n1\n340282346638528859811704183484516925440.000000 -100000002004087734272.000000 "
     "16777216.000000\n0 0 0\n"},
};

INSTANTIATE_TEST_SUITE_P(Writer, WritesShape, testing::ValuesIn(kWrittenCases),
                         [](const testing::TestParamInfo<WrittenCase> &info) { return std::string(info.param.name); });

TEST(Writer, RefusesNullArgumentsWithOneAndCreatesNothing) {
    ScratchDir dir;
    std::string path = dir.path("never.bsv2");
    Shape shape = buildShape(1, 0, {0, 0, 0}, {});
    Captured output = captureOutput([&] {
        EXPECT_EQ(writeShapeToFile(nullptr, path.c_str()), 1);
        EXPECT_EQ(writeShapeToFile(nullptr, nullptr), 1);
        EXPECT_EQ(writeShapeToFile(shape, nullptr), 1);
    });
    EXPECT_EQ(output.err, "");
    EXPECT_EQ(output.out, "");
    EXPECT_FALSE(fileExists(path));
    destroyShape(shape);
}

TEST(Writer, RefusesShapeMissingATableWithOne) {
    ScratchDir dir;
    std::string path = dir.path("never.bsv2");
    Shape shape = buildShape(1, 1, {0, 0, 0}, {0, 0, 0});
    std::free(shape->tTable);
    shape->tTable = nullptr;  // as createShape leaves it when the allocation fails
    EXPECT_EQ(writeShapeToFile(shape, path.c_str()), 1);
    EXPECT_FALSE(fileExists(path));
    destroyShape(shape);
}

struct UnwritableCase {
    const char *name;
    std::string (*path)(const ScratchDir &dir);
    int result;
    std::string message;  // %s stands for the path
};

class RefusesUnwritablePath : public testing::TestWithParam<UnwritableCase> {};

TEST_P(RefusesUnwritablePath, WithItsResultAndMessage) {
    ScratchDir dir;
    std::string path = GetParam().path(dir);
    Shape shape = buildShape(1, 0, {0, 0, 0}, {});
    int result = -1;
    Captured output = captureOutput([&] { result = writeShapeToFile(shape, path.c_str()); });
    EXPECT_EQ(result, GetParam().result);
    std::string message = GetParam().message;
    message.replace(message.find("%s"), 2, path);
    EXPECT_EQ(output.err, message);
    destroyShape(shape);
}

const UnwritableCase kUnwritableCases[] = {
    {"MissingDirectory", [](const ScratchDir &dir) { return dir.path("no/such/dir.bsv2"); }, 2,
     "Unable to open %s for writing.\n"},
    {"DirectoryItself", [](const ScratchDir &dir) { return dir.root; }, 2, "Unable to open %s for writing.\n"},
    {"FullDisk", [](const ScratchDir &) { return std::string("/dev/full"); }, 3, "Unable to write %s.\n"},
};

INSTANTIATE_TEST_SUITE_P(Writer, RefusesUnwritablePath, testing::ValuesIn(kUnwritableCases),
                         [](const testing::TestParamInfo<UnwritableCase> &info) {
                             return std::string(info.param.name);
                         });

TEST(Writer, FullDiskIsCaughtEvenWhenTheFileIsLarge) {
    Shape shape = createShape(100000, 0);
    for (int i = 0; i < 300000; i++) shape->vTable[i] = static_cast<float>(i);
    Captured output = captureOutput([&] { EXPECT_EQ(writeShapeToFile(shape, "/dev/full"), 3); });
    EXPECT_EQ(output.err, "Unable to write /dev/full.\n");
    destroyShape(shape);
}

TEST(Writer, RoundTripKeepsCountsAndVertexNumbersAndRoundsCoordinatesToSixDecimals) {
    ScratchDir dir;
    std::string path = dir.path("round.bsv2");
    Shape original = buildShape(4, 3, {0.1f, -2.5f, 3.14159265f, 1e-7f, 1234.5678f, -0.000123f, 7, 8, 9, 1, 1, 1},
                                {0, 1, 2, 3, 2, 1, 0, 3, 3});
    ASSERT_EQ(writeShapeToFile(original, path.c_str()), 0);
    Shape reread = readShapeFromFile(path.c_str());
    ASSERT_NE(reread, nullptr);
    EXPECT_EQ(reread->numVertices, 4);
    EXPECT_EQ(numTriangles(reread), 3);
    for (int i = 0; i < 9; i++) EXPECT_EQ(reread->tTable[i], original->tTable[i]) << i;
    for (int i = 0; i < 12; i++) {
        char text[64];
        std::snprintf(text, sizeof text, "%f", original->vTable[i]);
        EXPECT_EQ(reread->vTable[i], std::strtof(text, nullptr)) << i;
        EXPECT_NEAR(reread->vTable[i], original->vTable[i], 5e-7f * (1 + std::fabs(original->vTable[i])));
    }
    destroyShape(original);
    destroyShape(reread);
}

TEST(Writer, NegativeTriangleCountReadsBackTheSame) {
    ScratchDir dir;
    std::string path = dir.path("negative.bsv2");
    Shape original = nullptr;
    captureOutput([&] { original = buildShape(3, -1, {0, 0, 0, 1, 0, 0, 0, 1, 0}, {}); });
    ASSERT_EQ(writeShapeToFile(original, path.c_str()), 0);
    Shape reread = nullptr;
    Captured output = captureOutput([&] { reread = readShapeFromFile(path.c_str()); });
    ASSERT_NE(reread, nullptr);
    EXPECT_EQ(output.out, "ahhh\n!");
    EXPECT_EQ(numTriangles(reread), -1);
    destroyShape(original);
    destroyShape(reread);
}

}  // namespace
