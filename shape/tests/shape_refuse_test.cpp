// The reader on files it must refuse: each gives a null shape, one message
// on standard error, no leak and no open file left behind.
#include <dirent.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "memory_limit.h"
#include "reader_messages.h"
#include "sanitizer_warnings.h"
#include "shape.h"
#include "stream_capture.h"
#include "test_files.h"

namespace {

int openDescriptorCount() {
    int count = 0;
    DIR *dir = opendir("/proc/self/fd");
    while (dir != nullptr && readdir(dir) != nullptr) count++;
    if (dir != nullptr) closedir(dir);
    return count;
}

struct RefusedCase {
    const char *name;
    std::string bytes;
    std::string err;  // the one message on standard error
};

class RefusesBadFile : public testing::TestWithParam<RefusedCase> {};

TEST_P(RefusesBadFile, WithItsMessageOnStandardErrorAndTheFileClosed) {
    const RefusedCase &c = GetParam();
    ScratchDir dir;
    std::string path = dir.write("bad.bsv2", c.bytes);
    int descriptorsBefore = openDescriptorCount();
    Shape loaded = reinterpret_cast<Shape>(1);
    Captured output = captureOutput([&] { loaded = readShapeFromFile(path.c_str()); });
    EXPECT_EQ(loaded, nullptr);
    destroyShape(loaded);
    EXPECT_EQ(output.err, c.err);
    EXPECT_EQ(output.out, "");
    EXPECT_EQ(openDescriptorCount(), descriptorsBefore);
}

const RefusedCase kRefusedCases[] = {
    {"EmptyFile", "", kFileReadError},
    {"ThreeLetterMagic", "BSV\n3\n1\n0 0 0\n1 0 0\n0 1 0\n0 1 2\n", kNotBsv2},
    {"LowerCaseMagic", "bsv2\n3\n1\n0 0 0\n1 0 0\n0 1 0\n0 1 2\n", kNotBsv2},
    {"EmptyFirstLine", "\nBSV2\n3\n1\n0 0 0\n1 0 0\n0 1 0\n0 1 2\n", kNotBsv2},
    {"BlankBeforeMagic", " BSV2\n3\n1\n0 0 0\n1 0 0\n0 1 0\n0 1 2\n", kNotBsv2},
    {"NulInsideMagic", std::string("BS\0V2\n1\n0\n0 0 0\n", 16), kNotBsv2},
    {"CarriageReturnInsideMagic", "BSV\r\n1\n0\n0 0 0\n", kNotBsv2},
    {"MagicOnly", "BSV2", kFileReadError},
    {"MagicThenWhitespace", "BSV2\n \t\r\n", kFileReadError},
    {"ZeroVertices", "BSV2\n0\n0\n", kTooFewVertices},
    {"NegativeVertexCount", "BSV2\n-3\n1\n", kTooFewVertices},
    {"VertexCountIsAWord", "BSV2\nthree\n1\n", kTooFewVertices},
    {"VertexCountIsASignAlone", "BSV2\n-", kTooFewVertices},
    {"VertexCountBeyond32Bits", "BSV2\n99999999999\n0\n0 0 0\n", kTooFewVertices},
    {"VertexCountWrapsToPositiveIn32Bits", "BSV2\n4294967297\n0\n0 0 0\n", kTooFewVertices},
    {"TrailingTextOnMagicLineIsReadAsVertexCount", "BSV2x\n1\n0\n0 0 0\n", kTooFewVertices},
    {"NoTriangleCount", "BSV2\n3\n", kFileReadError},
    {"TriangleCountIsAWord", "BSV2\n1\nnone\n0 0 0\n", kFileReadError},
    {"TriangleCountBeyond32Bits", "BSV2\n1\n2147483648\n0 0 0\n", kFileReadError},
    {"EndsAfterCounts", "BSV2\n3\n1\n", kVTableError},
    {"EndsInsideVertexTable", "BSV2\n3\n1\n0 0 0\n1 0 0\n", kVTableError},
    {"VertexCutShortAfterFirstField", "BSV2\n1\n0\n0.5", kVTableError},
    {"VertexCutShortAfterSecondField", "BSV2\n1\n0\n0.5 1", kVTableError},
    {"VertexFieldIsAWord", "BSV2\n1\n0\n0 zero 0\n", kVTableError},
    {"VertexFieldIsADotAlone", "BSV2\n1\n0\n0 . 0\n", kVTableError},
    {"VertexFieldIsHexPrefixAlone", "BSV2\n1\n0\n0 0x 0\n", kVTableError},
    {"VertexFieldIsInfinityCutShort", "BSV2\n1\n0\n0 infin 0\n", kVTableError},
    {"FewerTriangleLinesThanCount", "BSV2\n3\n2\n0 0 0\n1 0 0\n0 1 0\n0 1 2\n", kTTableError},
    {"TriangleCutShortAfterFirstField", "BSV2\n3\n1\n0 0 0\n1 0 0\n0 1 0\n0", kTTableError},
    {"TriangleFieldIsAWord", "BSV2\n3\n1\n0 0 0\n1 0 0\n0 1 0\n0 one 2\n", kTTableError},
    {"TriangleFieldIsAFraction", "BSV2\n3\n1\n0 0 0\n1 0 0\n0 1 0\n0 1.5 2\n", kTTableError},
    {"VertexNumberBeyond32BitsThatWouldWrapIntoRange", "BSV2\n3\n1\n0 0 0\n1 0 0\n0 1 0\n0 4294967297 2\n",
     kTTableError},
    {"VertexNumberEqualToVertexCount", "BSV2\n3\n1\n0 0 0\n1 0 0\n0 1 0\n0 1 3\n", kOutOfRange},
    {"NegativeVertexNumber", "BSV2\n3\n1\n0 0 0\n1 0 0\n0 1 0\n-1 1 2\n", kOutOfRange},
    {"OutOfRangeInLaterTriangle", "BSV2\n3\n2\n0 0 0\n1 0 0\n0 1 0\n0 1 2\n2 1 2147483647\n", kOutOfRange},
    {"BinaryGarbage",
     std::string("\x7f"
                 "ELF\x02\x01\x01\0\0\0",
                 10),
     kNotBsv2},
    {"WhitespaceOnly", " \t\r\n\v\f\n", kNotBsv2},
    {"NewlineOnly", "\n", kNotBsv2},
    {"VeryLongFirstLine", "BSV2" + std::string(100000, '7') + "x\n1\n0\n0 0 0\n", kTooFewVertices},
    {"VeryLongFirstLineWithoutMagic", std::string(100000, 'B') + "\n1\n0\n0 0 0\n", kNotBsv2},
    {"NulAfterMagic",
     std::string("BSV2\n\0"
                 "1\n0\n0 0 0\n",
                 13),
     kTooFewVertices},
    {"NulInsideVertex", std::string("BSV2\n1\n0\n0 \0 0\n", 16), kVTableError},
    {"VertexCountOfIntMinimum", "BSV2\n-2147483648\n0\n", kTooFewVertices},
    {"VertexCountFarLargerThanTheFile", "BSV2\n1000000\n0\n0 0 0\n", kVTableError},
    {"TriangleCountFarLargerThanTheFile", "BSV2\n1\n1000000\n0 0 0\n0 0 0\n", kTTableError},
    {"TriangleCountOfHundredDigits", "BSV2\n1\n" + std::string(100, '9') + "\n0 0 0\n", kFileReadError},
    {"VertexNumberOfHundredDigits", "BSV2\n1\n1\n0 0 0\n0 0 " + std::string(100, '1') + "\n", kTTableError},
    {"VertexNumberWithHexPrefix", "BSV2\n1\n1\n0 0 0\n0 0x0 0\n", kTTableError},
    {"VertexNumberIsIntMinimum", "BSV2\n1\n1\n0 0 0\n0 -2147483648 0\n", kOutOfRange},
    {"SignWithoutDigitsInTriangle", "BSV2\n1\n1\n0 0 0\n0 + 0\n", kTTableError},
    {"HighBytesInVertex", "BSV2\n1\n0\n\xff\xfe\xfd 0 0\n", kVTableError},
};

INSTANTIATE_TEST_SUITE_P(Reader, RefusesBadFile, testing::ValuesIn(kRefusedCases),
                         [](const testing::TestParamInfo<RefusedCase> &info) { return std::string(info.param.name); });

TEST(Reader, RefusesPathThatDoesNotExist) {
    ScratchDir dir;
    std::string path = dir.path("missing.bsv2");
    Shape loaded = nullptr;
    Captured output = captureOutput([&] { loaded = readShapeFromFile(path.c_str()); });
    EXPECT_EQ(loaded, nullptr);
    EXPECT_EQ(output.err, "Read error!\n");
    EXPECT_EQ(output.out, "");
}

TEST(Reader, RefusesDirectoryAsPath) {
    ScratchDir dir;
    Shape loaded = nullptr;
    Captured output = captureOutput([&] { loaded = readShapeFromFile(dir.root.c_str()); });
    EXPECT_EQ(loaded, nullptr);
    // Opening a directory for reading succeeds on Linux; reading it fails.
    EXPECT_EQ(output.err, kFileReadError);
}

struct HugeCountCase {
    const char *name;
    std::string bytes;
};

class RefusesHugeCounts : public testing::TestWithParam<HugeCountCase> {};

// Counts far beyond the heap in a file of a few bytes: the table cannot be
// allocated, createShape says so on standard output, and the file is refused
// with nothing else written (here with the heap capped at 1 GiB, so that the
// outcome does not depend on how much memory the machine will promise).
TEST_P(RefusesHugeCounts, WithTheAllocationMessageAlone) {
    std::string bytes = GetParam().bytes;
    expectInLimitedChild([&bytes](bool *ok) {
        ScratchDir dir;
        std::string path = dir.write("huge.bsv2", bytes);
        Shape shape = reinterpret_cast<Shape>(1);
        Captured output = captureOutput([&] { shape = readShapeFromFile(path.c_str()); });
        CHILD_CHECK(ok, shape == nullptr);
        CHILD_CHECK(ok, output.out == kAllocationFailed);
        CHILD_CHECK(ok, withoutSanitizerWarnings(output.err) == "");
        Bsv2Cause cause = BSV2_CAUSE_NONE;
        CHILD_CHECK(ok, readShapeFromFileWithCause(path.c_str(), nullptr, 0, &cause, nullptr) == nullptr);
        CHILD_CHECK(ok, cause == BSV2_CAUSE_NO_MEMORY);
    });
}

INSTANTIATE_TEST_SUITE_P(Reader, RefusesHugeCounts,
                         testing::Values(HugeCountCase{"Vertices", "BSV2\n200000000\n1\n0 0 0\n"},
                                         HugeCountCase{"Triangles", "BSV2\n1\n200000000\n0 0 0\n"},
                                         HugeCountCase{"Both", "BSV2\n2000000000\n2000000000\n1 2"},
                                         HugeCountCase{"LargestInts", "BSV2\n2147483647\n2147483647\n"}),
                         [](const testing::TestParamInfo<HugeCountCase> &info) {
                             return std::string(info.param.name);
                         });

// What the reader must make of a text: either a shape of exactly the numbers
// it holds, or the one message for the first item that is missing or wrong.
// The text is whitespace-separated plain tokens after the four-byte magic,
// with no exponents, so a token is a number exactly when strtof or strtol
// reads all of it.
struct Expected {
    std::string err;
    int numVertices = 0, numTris = 0;
    std::vector<float> vertices;
    std::vector<int> triangles;
};

Expected expectedFromPlainText(const std::string &text) {
    Expected e;
    if (text.empty()) return e.err = kFileReadError, e;
    if (text.compare(0, 4, "BSV2") != 0) return e.err = kNotBsv2, e;
    std::vector<std::string> tokens;
    std::istringstream words(text.substr(4));
    for (std::string word; words >> word;) tokens.push_back(word);
    std::size_t next = 0;
    // The next token as an int or float; false when missing or not wholly a number.
    auto nextInt = [&](int *value) {
        if (next >= tokens.size()) return false;
        char *end;
        long wide = std::strtol(tokens[next].c_str(), &end, 10);
        if (*end != '\0' || end == tokens[next].c_str() || wide < INT_MIN || wide > INT_MAX) return false;
        *value = static_cast<int>(wide);
        return ++next, true;
    };
    auto nextFloat = [&](float *value) {
        if (next >= tokens.size()) return false;
        char *end;
        *value = std::strtof(tokens[next].c_str(), &end);
        if (*end != '\0' || end == tokens[next].c_str()) return false;
        return ++next, true;
    };
    if (tokens.empty()) return e.err = kFileReadError, e;
    if (!nextInt(&e.numVertices) || e.numVertices <= 0) return e.err = kTooFewVertices, e;
    if (!nextInt(&e.numTris)) return e.err = kFileReadError, e;
    e.vertices.resize(3 * static_cast<std::size_t>(e.numVertices));
    for (float &coordinate : e.vertices) {
        if (!nextFloat(&coordinate)) return e.err = kVTableError, e;
    }
    e.triangles.resize(3 * static_cast<std::size_t>(std::max(e.numTris, 0)));
    for (std::size_t j = 0; j < e.triangles.size(); j += 3) {
        for (std::size_t c = j; c < j + 3; c++) {
            if (!nextInt(&e.triangles[c])) return e.err = kTTableError, e;
        }
        for (std::size_t c = j; c < j + 3; c++) {
            if (e.triangles[c] < 0 || e.triangles[c] >= e.numVertices) return e.err = kOutOfRange, e;
        }
    }
    return e;
}

void expectReadAsPlainTextSays(const std::string &bytes, const ScratchDir &dir) {
    std::string path = dir.write("prefix.bsv2", bytes);
    Expected expected = expectedFromPlainText(bytes);
    Shape shape = nullptr;
    Captured output = captureOutput([&] { shape = readShapeFromFile(path.c_str()); });
    EXPECT_EQ(output.err, expected.err) << "for the text: " << bytes;
    if (!expected.err.empty() || shape == nullptr) {
        EXPECT_EQ(shape, nullptr);
        destroyShape(shape);
        return;
    }
    EXPECT_EQ(shape->numVertices, expected.numVertices);
    EXPECT_EQ(shape->numTris, expected.numTris);
    EXPECT_EQ(std::vector<float>(shape->vTable, shape->vTable + expected.vertices.size()), expected.vertices) << bytes;
    EXPECT_EQ(std::vector<int>(shape->tTable, shape->tTable + expected.triangles.size()), expected.triangles) << bytes;
    destroyShape(shape);
}

TEST(Reader, ReadsEveryPrefixOfAValidFileAsItsTextSays) {
    const std::string valid = "BSV2\n4\n3\n-1.25 0.5 12\n+3 -0 .75\n10.5 -20 3.\n0 0.001 -7\n0 1 2\n3 2 1\n1 3 0\n";
    ScratchDir dir;
    for (std::size_t length = 0; length <= valid.size(); length++) {
        expectReadAsPlainTextSays(valid.substr(0, length), dir);
    }
}

// Every input the fuzzers ever failed on, and their seed corpus: none may
// crash, and any shape read from them must be whole.
TEST(Reader, ReadsEveryFuzzRegressionAndSeedFileSafely) {
    int files = 0;
    for (const char *directory : {REGRESSIONS_DIR, FUZZ_CORPUS_DIR}) {
        for (const auto &entry : std::filesystem::directory_iterator(directory)) {
            if (entry.path().extension() != ".bsv2") continue;
            files++;
            Shape shape = nullptr;
            Captured output = captureOutput([&] { shape = readShapeFromFile(entry.path().c_str()); });
            if (shape == nullptr) {
                EXPECT_FALSE(output.out.empty() && output.err.empty()) << entry.path() << " refused silently";
                continue;
            }
            EXPECT_GE(shape->numVertices, 1);
            for (long i = 0; i < 3L * std::max(shape->numTris, 0); i++) {
                EXPECT_TRUE(shape->tTable[i] >= 0 && shape->tTable[i] < shape->numVertices) << entry.path();
            }
            destroyShape(shape);
        }
    }
    EXPECT_GT(files, 10);
}

}  // namespace
