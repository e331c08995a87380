// Reading and writing BSV2 text in memory: counts the input cannot hold
// are refused as the file reader refuses them once the input runs out, with
// no allocation of their size; the arguments the functions refuse; a text
// that does not fit in memory.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "memory_limit.h"
#include "reader_messages.h"
#include "shape.h"
#include "test_files.h"

namespace {

struct CountCase {
    const char *name;
    std::string bytes;
    Bsv2Cause cause;  // what the file reader gives when its tables can be allocated
};

class CountsBeyondTheInput : public testing::TestWithParam<CountCase> {};

// The counts ask for more than 1 GiB in all; each table alone is less, so
// the file reader (unlimited, or under AddressSanitizer's cap per
// allocation) gets its tables and fails where the input runs out. The
// memory reader, with the address space capped at 1 GiB, must fail the same
// way, which it could not if it allocated what the counts ask for.
TEST_P(CountsBeyondTheInput, FailAsTheFileReaderDoesWithoutAllocatingThem) {
    const CountCase &c = GetParam();
    ScratchDir dir;
    std::string path = dir.write("short.bsv2", c.bytes);
    char fileMessage[128];
    Bsv2Cause fileCause = BSV2_CAUSE_NONE;
    Shape fromFile = readShapeFromFileWithCause(path.c_str(), fileMessage, sizeof fileMessage, &fileCause, nullptr);
    EXPECT_EQ(fromFile, nullptr);
    EXPECT_EQ(fileCause, c.cause);
    expectInLimitedChild([&](bool *ok) {
        char message[128];
        Bsv2Cause cause = BSV2_CAUSE_NONE;
        Shape shape = readShapeFromMemory(c.bytes.data(), c.bytes.size(), message, sizeof message, &cause);
        CHILD_CHECK(ok, shape == nullptr);
        CHILD_CHECK(ok, cause == fileCause);
        CHILD_CHECK(ok, std::strcmp(message, fileMessage) == 0);
    });
}

INSTANTIATE_TEST_SUITE_P(
    Memory, CountsBeyondTheInput,
    testing::Values(CountCase{"Vertices", "BSV2\n50000000\n50000000\n0 0 0\n", BSV2_CAUSE_BAD_VERTEX},
                    CountCase{"Triangles", "BSV2\n3\n89000000\n0 0 0 1 0 0 0 1 0\n0 1 2\n", BSV2_CAUSE_BAD_TRIANGLE},
                    CountCase{"TrianglesNamingAMissingVertex", "BSV2\n3\n89000000\n0 0 0 1 0 0 0 1 0\n0 1 2 0 1 7\n",
                              BSV2_CAUSE_VERTEX_OUT_OF_RANGE}),
    [](const testing::TestParamInfo<CountCase> &info) { return std::string(info.param.name); });

TEST(MemoryReader, TakesInputThatHoldsItsCountsExactly) {
    // One byte per number, no more: the bound on counts is not too tight.
    const std::string text = "BSV2\n3\n1\n0-1-2+3-4+5-6+7-8\n0 1 2";
    Bsv2Cause cause = BSV2_CAUSE_BAD_ARGUMENT;
    Shape shape = readShapeFromMemory(text.data(), text.size(), nullptr, 0, &cause);
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(cause, BSV2_CAUSE_NONE);
    EXPECT_EQ(shape->vTable[8], -8.0f);
    EXPECT_EQ(shape->tTable[2], 2);
    destroyShape(shape);
}

TEST(MemoryReader, RefusesNullTextOfSomeLengthAndReadsNullTextOfNoneAsEmpty) {
    char message[64] = "stale";
    Bsv2Cause cause = BSV2_CAUSE_NONE;
    EXPECT_EQ(readShapeFromMemory(nullptr, 3, message, sizeof message, &cause), nullptr);
    EXPECT_EQ(cause, BSV2_CAUSE_BAD_ARGUMENT);
    EXPECT_STREQ(message, "");
    EXPECT_EQ(readShapeFromMemory(nullptr, 0, message, sizeof message, &cause), nullptr);
    EXPECT_EQ(cause, BSV2_CAUSE_ENDS_EARLY);
    EXPECT_EQ(message, kFileReadError);
}

TEST(MemoryWriter, RefusesWhatTheFileWriterRefuses) {
    Shape_Typ noTable = {2, nullptr, nullptr, 0};
    Shape_Typ whole = {1, nullptr, nullptr, 0};
    float vertex[3] = {0, 0, 0};
    whole.vTable = vertex;
    char *text = reinterpret_cast<char *>(1);
    std::size_t size = 7;
    Bsv2Cause cause = BSV2_CAUSE_NONE;
    EXPECT_EQ(writeShapeToMemory(&noTable, &text, &size, &cause), 1);
    EXPECT_EQ(cause, BSV2_CAUSE_BAD_ARGUMENT);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(writeShapeToMemory(nullptr, &text, &size, &cause), 1);
    EXPECT_EQ(writeShapeToMemory(&whole, nullptr, &size, &cause), 1);
    EXPECT_EQ(writeShapeToMemory(&whole, &text, nullptr, &cause), 1);
    EXPECT_EQ(cause, BSV2_CAUSE_BAD_ARGUMENT);
}

TEST(MemoryWriter, GivesNoTextWhenItDoesNotFitInMemory) {
    // 40 million vertices of "0.000000 0.000000 0.000000\n": about 1.1 GB of
    // text beside 480 MB of shape, under a cap of 1 GiB.
    expectInLimitedChild([](bool *ok) {
        Shape_Typ shape = {40000000, nullptr, nullptr, 0};
        shape.vTable = static_cast<float *>(std::calloc(3 * 40000000UL, sizeof(float)));
        CHILD_CHECK(ok, shape.vTable != nullptr);
        char *text = reinterpret_cast<char *>(1);
        std::size_t size = 7;
        Bsv2Cause cause = BSV2_CAUSE_NONE;
        CHILD_CHECK(ok, writeShapeToMemory(&shape, &text, &size, &cause) == 3);
        CHILD_CHECK(ok, cause == BSV2_CAUSE_NO_MEMORY);
        CHILD_CHECK(ok, text == nullptr && size == 0);
        std::free(shape.vTable);
    });
}

}  // namespace
