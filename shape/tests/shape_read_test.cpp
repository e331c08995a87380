// The BSV2 reader on files it must load: the numbers they hold, bit for bit,
// however they are laid out.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "reader_messages.h"
#include "shape.h"
#include "stream_capture.h"
#include "test_files.h"

namespace {

struct LoadedCase {
    const char *name;
    std::string bytes;
    int numVertices;
    int numTris;
    std::vector<float> vertices;  // 3 per vertex
    std::vector<int> triangles;   // 3 per triangle
};

class LoadsFile : public testing::TestWithParam<LoadedCase> {};

// Compares bit patterns, so that -0.0 and each NaN are told apart.
std::vector<std::uint32_t> bitsOf(const float *values, std::size_t count) {
    std::vector<std::uint32_t> bits(count);
    if (count > 0) std::memcpy(bits.data(), values, count * sizeof(float));
    return bits;
}

TEST_P(LoadsFile, AsTheNumbersItHolds) {
    const LoadedCase &c = GetParam();
    ScratchDir dir;
    std::string path = dir.write("good.bsv2", c.bytes);
    Shape loaded = nullptr;
    Captured output = captureOutput([&] { loaded = readShapeFromFile(path.c_str()); });
    ASSERT_NE(loaded, nullptr) << output.err;
    EXPECT_EQ(output.err, "");
    EXPECT_EQ(output.out, "");
    EXPECT_EQ(loaded->numVertices, c.numVertices);
    EXPECT_EQ(loaded->numTris, c.numTris);
    EXPECT_EQ(numTriangles(loaded), c.numTris);
    EXPECT_EQ(bitsOf(loaded->vTable, 3 * c.numVertices), bitsOf(c.vertices.data(), c.vertices.size()));
    std::vector<int> triangles(loaded->tTable, loaded->tTable + 3 * std::max(c.numTris, 0));
    EXPECT_EQ(triangles, c.triangles);
    destroyShape(loaded);
}

const float kInf = std::numeric_limits<float>::infinity();

const LoadedCase kLoadedCases[] = {
    {"CanonicalTriangle",
     "BSV2\n3\n1\n0.000000 0.000000 0.000000\n1.000000 0.000000 0.000000\n0.000000 1.000000 0.000000\n0 1 2\n",
     3,
     1,
     {0, 0, 0, 1, 0, 0, 0, 1, 0},
     {0, 1, 2}},
    {"AllNumbersOnOneLine", "BSV2\n3 1 0 0 0 1 0 0 0 1 0 0 1 2", 3, 1, {0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 2}},
    {"VertexSpreadOverLines", "BSV2\n1\n0\n1.5\n\n-2.25\t\v\f3\n", 1, 0, {1.5f, -2.25f, 3}, {}},
    {"CarriageReturnLineEnds",
     "BSV2\r\n3\r\n1\r\n0 0 0\r\n1 0 0\r\n0 1 0\r\n0 1 2\r\n",
     3,
     1,
     {0, 0, 0, 1, 0, 0, 0, 1, 0},
     {0, 1, 2}},
    {"TrailingTextIgnored", "BSV2\n1\n1\n0 0 0\n0 0 0\nthis is not read 1 2 3\n", 1, 1, {0, 0, 0}, {0, 0, 0}},
    {"ZeroTriangles", "BSV2\n2\n0\n1 2 3\n4 5 6\n", 2, 0, {1, 2, 3, 4, 5, 6}, {}},
    {"MagicFollowedByVertexCountOnSameLine", "BSV22\n0\n1 2 3 4 5 6\n", 2, 0, {1, 2, 3, 4, 5, 6}, {}},
    {"SignsAndExponents",
     "BSV2\n2\n+1\n+1.5 -0 1e3\n.5 5. -2.5E-1\n+0 -0 +1\n",
     2,
     1,
     {1.5f, -0.0f, 1000, 0.5f, 5, -0.25f},
     {0, 0, 1}},
    {"HexadecimalFloats", "BSV2\n1\n0\n0x1.8p1 -0X10 0x.8P-1\n", 1, 0, {3, -16, 0.25f}, {}},
    {"InfinityAndNotANumberInAnyCase",
     "BSV2\n2\n0\ninf -INFINITY +InFiNiTy\nnan -NaN NAN\n",
     2,
     0,
     {kInf, -kInf, kInf, std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::quiet_NaN(),
      std::numeric_limits<float>::quiet_NaN()},
     {}},
    {"OverflowAndUnderflow", "BSV2\n1\n0\n1e39 -1e-50 3.4028235e38\n", 1, 0, {kInf, -0.0f, 3.4028235e38f}, {}},
    {"ExponentWithoutDigitsEndsTheNumber", "BSV2\n1\n0\n1e 2e+ 3\n", 1, 0, {1, 2, 3}, {}},
    {"SecondDecimalPointStartsNextNumber", "BSV2\n1\n0\n1.5.25 -7\n", 1, 0, {1.5f, 0.25f, -7}, {}},
    {"LeadingZerosInIntegers",
     "BSV2\n0003\n+001\n0 0 0 0 0 0 0 0 0\n000 -0 02\n",
     3,
     1,
     {0, 0, 0, 0, 0, 0, 0, 0, 0},
     {0, 0, 2}},
};

INSTANTIATE_TEST_SUITE_P(Reader, LoadsFile, testing::ValuesIn(kLoadedCases),
                         [](const testing::TestParamInfo<LoadedCase> &info) { return std::string(info.param.name); });

TEST(Reader, KeepsNegativeTriangleCountWithNoTableAndReadsNoTriangleLines) {
    ScratchDir dir;
    std::string path = dir.write("negative.bsv2", "BSV2\n3\n-1\n0 0 0\n1 0 0\n0 1 0\nnot a triangle\n");
    Shape loaded = nullptr;
    Captured output = captureOutput([&] { loaded = readShapeFromFile(path.c_str()); });
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(output.out, "ahhh\n!");
    EXPECT_EQ(output.err, "");
    EXPECT_EQ(loaded->numVertices, 3);
    EXPECT_EQ(numTriangles(loaded), -1);
    EXPECT_EQ(loaded->tTable, nullptr);
    EXPECT_EQ(loaded->vTable[3], 1.0f);
    destroyShape(loaded);
}

TEST(Reader, MessageWithoutNewlineRunsIntoTheNextOne) {
    ScratchDir dir;
    std::string zero = dir.write("zero.bsv2", "BSV2\n0\n0\n");
    std::string lower = dir.write("lower.bsv2", "bsv2\n");
    Captured output = captureOutput([&] {
        EXPECT_EQ(readShapeFromFile(zero.c_str()), nullptr);
        EXPECT_EQ(readShapeFromFile(lower.c_str()), nullptr);
    });
    EXPECT_EQ(output.err, kTooFewVertices + kNotBsv2);
}

}  // namespace
