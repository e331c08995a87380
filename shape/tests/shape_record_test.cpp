// The shape record: table sizes, counts kept as given, the allocation
// message, and release.
#include <gtest/gtest.h>
#include <malloc.h>

#include <climits>
#include <cstdlib>

#include "memory_limit.h"
#include "shape.h"
#include "stream_capture.h"

namespace {

TEST(CreateShape, GivesTwelveBytesPerVertexAndPerTriangle) {
    Shape shape = nullptr;
    Captured output = captureOutput([&] { shape = createShape(3, 1); });
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(output.out, "");
    EXPECT_EQ(shape->numVertices, 3);
    EXPECT_EQ(shape->numTris, 1);
    EXPECT_EQ(numTriangles(shape), 1);
    ASSERT_NE(shape->vTable, nullptr);
    ASSERT_NE(shape->tTable, nullptr);
    EXPECT_GE(malloc_usable_size(shape->vTable), 36u);
    EXPECT_GE(malloc_usable_size(shape->tTable), 12u);
    // Under AddressSanitizer a short table makes these writes fail loudly.
    for (int i = 0; i < 9; i++) shape->vTable[i] = static_cast<float>(i);
    for (int i = 0; i < 3; i++) shape->tTable[i] = i;
    destroyShape(shape);
}

TEST(CreateShape, ZeroTrianglesIsNoFailure) {
    Shape shape = nullptr;
    Captured output = captureOutput([&] { shape = createShape(4, 0); });
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(output.out, "");
    EXPECT_EQ(output.err, "");
    EXPECT_EQ(numTriangles(shape), 0);
    EXPECT_NE(shape->vTable, nullptr);
    destroyShape(shape);
}

struct NegativeCountCase {
    int numVertices;
    int numTris;
};

class CreateShapeWithNegativeCount : public testing::TestWithParam<NegativeCountCase> {};

TEST_P(CreateShapeWithNegativeCount, SaysSoOnStandardOutputAndKeepsTheCount) {
    NegativeCountCase c = GetParam();
    Shape shape = nullptr;
    Captured output = captureOutput([&] { shape = createShape(c.numVertices, c.numTris); });
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(output.out, "ahhh\n!");
    EXPECT_EQ(output.err, "");
    EXPECT_EQ(shape->numVertices, c.numVertices);
    EXPECT_EQ(numTriangles(shape), c.numTris);
    EXPECT_EQ(shape->vTable == nullptr, c.numVertices <= 0);
    EXPECT_EQ(shape->tTable == nullptr, c.numTris <= 0);
    destroyShape(shape);
}

INSTANTIATE_TEST_SUITE_P(Record, CreateShapeWithNegativeCount,
                         testing::Values(NegativeCountCase{3, -1}, NegativeCountCase{-1, 2},
                                         NegativeCountCase{INT_MIN, INT_MIN}));

// A null handle is no shape: releasing it returns normally, in a child so
// that a crash shows as a failed expectation rather than a lost test run.
TEST(DestroyShape, AcceptsNull) {
    EXPECT_EXIT(
        {
            destroyShape(nullptr);
            std::_Exit(0);
        },
        testing::ExitedWithCode(0), "");
}

TEST(DestroyShape, FreesExactlyWhatCreateShapeAllocated) {
#ifdef BSV2_UNDER_ASAN
    GTEST_SKIP() << "the sanitizer's heap keeps no glibc statistics; its leak check covers this";
#else
    std::size_t before = mallinfo2().uordblks;
    Shape shape = createShape(1000, 2000);
    std::size_t during = mallinfo2().uordblks;
    destroyShape(shape);
    EXPECT_GE(during - before, sizeof(Shape_Typ) + 12 * 1000 + 12 * 2000);
    EXPECT_EQ(mallinfo2().uordblks, before);
#endif
}

TEST(CreateShapeDeathTest, TableTooLargeForTheHeapIsReportedAndLeftNull) {
    expectInLimitedChild([](bool *ok) {
        Shape shape = nullptr;
        Captured output = captureOutput([&] { shape = createShape(INT_MAX, 100); });
        CHILD_CHECK(ok, shape != nullptr);
        if (shape == nullptr) return;
        CHILD_CHECK(ok, output.out == "ahhh\n!");
        CHILD_CHECK(ok, shape->vTable == nullptr);
        CHILD_CHECK(ok, shape->tTable != nullptr);
        CHILD_CHECK(ok, shape->numVertices == INT_MAX);
        destroyShape(shape);
    });
}

}  // namespace
