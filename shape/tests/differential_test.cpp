// The library's reader and writer against the reference ones built on the
// C library's formatted input and output: the same outcome, bit for bit and
// message for message, on the test corpus, on edge cases of number syntax,
// and on thousands of seeded random mutations; and the library's functions
// for memory against its functions for files.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "outcome.h"
#include "read_corpus.h"
#include "reference_bsv2.h"
#include "shape.h"
#include "stream_capture.h"
#include "test_files.h"

namespace {

void expectSameRead(const std::string &bytes) {
    ReadOutcome reference = readBytesOutcome(referenceReadShapeFromFile, bytes);
    ReadOutcome library = readBytesOutcome(readShapeFromFile, bytes);
    EXPECT_TRUE(library == reference) << "input: \"" << bytes << "\"\n  library:   " << describe(library)
                                      << "\n  reference: " << describe(reference);
}

TEST(Differential, ReadsTheCorpusAsTheReferenceDoes) {
    std::vector<std::string> corpus = corpusFiles();
    ASSERT_GT(corpus.size(), 10u);
    for (const std::string &text : corpus) expectSameRead(text);
}

// Numbers at the edges of the "%d" and "%f" syntax, each as the whole of a
// one-vertex file and as its last coordinate followed by more text.
const char *const kTrickyNumbers[] = {
    "1e",
    "1e+",
    "1e-",
    "1E5",
    "1e+5",
    "1e-5",
    "1ex",
    "2e5e3",
    ".5",
    "5.",
    ".",
    "-.",
    "+.",
    "-",
    "+",
    "+-1",
    "-+1",
    "0x",
    "-0x",
    "+0x.",
    "0x.",
    "0x.8",
    "0x1p",
    "0x1p+",
    "0x1P-3",
    "0x.p1",
    "0xp3",
    "0x1.8p1",
    "0xABCDEFp-30",
    "0x1e3",
    "0x1.fffffep127",
    "0x1.ffffffp127",
    "0x1p-149",
    "0x1p-150",
    "0x1.8p-150",
    "0x1.000001p0",
    "0x1.0000018p0",
    "inf",
    "INF",
    "-Inf",
    "infinity",
    "INFINITY",
    "infin",
    "infinit",
    "infinityx",
    "infx",
    "in",
    "i",
    "nan",
    "NaN",
    "-nan",
    "nan(1)",
    "nanx",
    "na",
    "n",
    "3.4028235e38",
    "3.4028236e38",
    "3.40282357e38",
    "1e39",
    "-1e39",
    "1e-45",
    "7e-46",
    "7.1e-46",
    "1e-50",
    "-1e-50",
    "1.17549435e-38",
    "1.1754942e-38",
    "0.000000000000000000000000000000000000000000001401298464324817",
    "1.00000005960464477539062500000000000000001",
    "1.000000059604644775390625",
    "0000000000000000000000000000000000000000000000001.5",
    "1e99999999999999999999",
    "1e-99999999999999999999",
    "0e99999999999",
    "-0",
    "-0.0",
    "+0x0p0",
    "16777217",
    "33554433",
    "1.5.5",
    "1..5",
    "1e5.5",
    "00x1",
    "2147483647",
    "2147483648",
    "-2147483648",
    "-2147483649",
    "99999999999",
    "0010",
    "-0010",
};

TEST(Differential, ReadsTrickyNumbersAsTheReferenceDoes) {
    for (const char *number : kTrickyNumbers) {
        expectSameRead(std::string("BSV2\n1\n0\n") + number + " 0 0\n");
        expectSameRead(std::string("BSV2\n1\n0\n0 0 ") + number);
        expectSameRead(std::string("BSV2\n1\n1\n0 0 ") + number + " 0 0 0\n");
        expectSameRead(std::string("BSV2\n") + number + "\n0\n1 2 3\n");
        expectSameRead(std::string("BSV2\n1\n") + number + "\n1 2 3\n");
        expectSameRead(std::string("BSV2\n1\n1\n1 2 3\n0 0 ") + number + "\n");
    }
}

// Integers of every length to past the quick parser's reach: leading zeros,
// all nines, the largest that fit and the smallest that do not, with each
// sign, as a vertex number and as both counts. The padding behind them
// keeps them away from the input's end, where the long way reads them.
TEST(Differential, ReadsIntegersOfEveryLengthAsTheReferenceDoes) {
    const std::string padding = "\n" + std::string(100, ' ') + "7\n";
    std::mt19937 random(3212);
    for (std::size_t length = 1; length <= 70; length++) {
        std::string randomDigits;
        for (std::size_t i = 0; i < length; i++) randomDigits += static_cast<char>('0' + random() % 10);
        std::vector<std::string> digits = {std::string(length - 1, '0') + "1", std::string(length, '9'), randomDigits};
        for (const char *limit : {"2147483647", "2147483648"}) {
            if (length >= std::strlen(limit)) digits.push_back(std::string(length - std::strlen(limit), '0') + limit);
        }
        for (const std::string &number : digits) {
            for (const char *sign : {"", "-", "+"}) {
                std::string signed_number = sign + number;
                expectSameRead("BSV2\n2\n1\n0 0 0\n0 0 0\n0 " + signed_number + " 1" + padding);
                expectSameRead("BSV2\n" + signed_number + "\n1\n0 0 0\n0 0 0\n0 1 1" + padding);
                expectSameRead("BSV2\n1\n" + signed_number + "\n0 0 0\n0 0 0" + padding);
            }
        }
    }
}

// Triangles of vertex numbers of one to nine digits (leading zeros keep
// them in range), one blank or two or a tab between them, and what may
// follow the third, far enough from the input's end to be read in place.
TEST(Differential, ReadsTrianglesOfEveryWidthAsTheReferenceDoes) {
    std::string vertices = "BSV2\n100\n2\n";
    for (int i = 0; i < 100; i++) vertices += "0 0 0\n";
    const std::string padding = "\n" + std::string(100, ' ') + "7\n";
    auto number = [](int width, int value) {
        std::string digits = std::to_string(value);
        return std::string(width > static_cast<int>(digits.size()) ? width - digits.size() : 0, '0') + digits;
    };
    for (int width0 = 1; width0 <= 9; width0++) {
        for (int width1 = 1; width1 <= 9; width1++) {
            for (int width2 = 1; width2 <= 9; width2++) {
                const char *separator = (width0 + width1 + width2) % 7 == 0 ? "  " : width2 == 5 ? "\t" : " ";
                std::string triangle = number(width0, 7) + " " + number(width1, 42) + separator + number(width2, 99);
                for (const char *after : {"\n", " ", ".5", "e", "-1"})
                    expectSameRead(vertices + "1 2 3\n" + triangle + after + " 4 5 6" + padding);
            }
        }
    }
}

// The writer's decimals, one digit, a point and six digits, which the
// reader takes in one load, and their near neighbours, followed by every
// kind of byte; and triangles with bytes next to the digits between their
// numbers. All far enough from the input's end to be read in place.
TEST(Differential, ReadsTheWritersDecimalsAndTheirNeighboursAsTheReferenceDoes) {
    const std::string padding = "\n" + std::string(100, ' ') + "7\n";
    const char *const kDecimals[] = {"0.000000",
                                     "-0.000000",
                                     "+9.999999",
                                     "-5.000001",
                                     "3.141593",
                                     "1.23456",
                                     "1.2345678",
                                     "12.345678",
                                     "-.123456",
                                     "1,234567",
                                     "1.234/67",
                                     "1.234:67",
                                     "1\xB0"
                                     "234567",
                                     "1.2345\xB9"
                                     "7",
                                     "--1.234567",
                                     "1.234567.",
                                     "1.2345e7"};
    const char *const kAfters[] = {" ", "\t", "\n", "\r\n", "\v", "\f", "0", "9", "e",
                                   "E", "e1", "x",  "X",    ".",  "/",  ":", ","};
    for (const char *decimal : kDecimals) {
        for (const char *after : kAfters) {
            expectSameRead(std::string("BSV2\n2\n0\n") + decimal + after + " 1.000000 2.000000\n1 2 3" + padding);
            expectSameRead(std::string("BSV2\n2\n0\n1.000000 ") + decimal + after + " 2.000000\n1 2 3" + padding);
        }
    }
    std::string vertices = "BSV2\n100\n2\n";
    for (int i = 0; i < 100; i++) vertices += "0 0 0\n";
    for (const char *between : {"/", ":", "\xB0", "\xB9", "\x80", "\xFF", "\x7F", "\x06"}) {
        for (const std::string &triangle : {"12 34" + std::string(between) + "56",
                                            "12" + std::string(between) + "34 56", "7 8 9" + std::string(between)}) {
            expectSameRead(vertices + triangle + "\n1 2 3\n" + padding);
        }
    }
}

TEST(Differential, ReadsVeryLongNumbersAsTheReferenceDoes) {
    const std::string ones(100000, '1');
    const std::string zeros(100000, '0');
    for (const std::string &number :
         {"0." + zeros + "1", "1" + zeros + "e-100000", ones, "0x" + ones, "0x1." + zeros + "1p0", "-0." + ones,
          zeros + "1", "1e" + zeros + "5", "1e-" + zeros + "5", "1." + zeros + "1"}) {
        expectSameRead("BSV2\n1\n0\n" + number + " 0 0\n");
        expectSameRead("BSV2\n1\n1\n0 0 0\n0 0 " + number + "\n");
    }
}

// Many times the scanner's buffer, with every kind of number and long runs
// of whitespace, so that numbers and whitespace cross the buffer's end in
// every way.
TEST(Differential, ReadsALargeFileOfMixedNumbersAsTheReferenceDoes) {
    const char *const kNumbers[] = {"1e5",       "-0x1.8p3", "inf",    "-INFINITY", "nan",
                                    ".5",        "5.",       "1e",     "2e+",       "-0",
                                    "0x.8",      "1e-50",    "3.4e38", "0x1p-149",  "12345678901234567890.5",
                                    "-3.141593", "0.000001", "+7"};
    const char *const kSpaces[] = {" ", "\n", "\t", "\r\n", "  \v\f  ", "\n\n\n"};
    std::mt19937 random(77);
    const int numVertices = 20000;
    std::string text = "BSV2\n" + std::to_string(numVertices) + "\n0\n";
    for (int i = 0; i < 3 * numVertices; i++) {
        text += kNumbers[random() % (sizeof kNumbers / sizeof *kNumbers)];
        text += random() % 50 == 0 ? std::string(100 + random() % 200, ' ')
                                   : kSpaces[random() % (sizeof kSpaces / sizeof *kSpaces)];
    }
    ASSERT_GT(text.size(), 200000u);
    ReadOutcome reference = readBytesOutcome(referenceReadShapeFromFile, text);
    ReadOutcome library = readBytesOutcome(readShapeFromFile, text);
    EXPECT_TRUE(reference.loaded);
    EXPECT_TRUE(library == reference) << describe(library) << "\n" << describe(reference);
}

TEST(Differential, ReadsSeededRandomMutationsAsTheReferenceDoes) {
    std::vector<std::string> corpus = corpusFiles();
    std::mt19937 random(20261208);
    int loaded = 0;
    const int kMutations = 10000;
    for (int i = 0; i < kMutations; i++) {
        std::string text = mutate(corpus[random() % corpus.size()], random);
        ReadOutcome reference = readBytesOutcome(referenceReadShapeFromFile, text);
        ReadOutcome library = readBytesOutcome(readShapeFromFile, text);
        ASSERT_TRUE(library == reference)
            << "mutation " << i << ": \"" << text << "\"\n  library:   " << describe(library)
            << "\n  reference: " << describe(reference);
        loaded += reference.loaded;
    }
    // Some mutations must still load, so that number syntax deep in the file
    // is compared, not only broken headers.
    EXPECT_GT(loaded, kMutations / 25);
}

// readShapeFromMemory against readShapeFromFileWithCause on the same bytes.
void expectMemoryReadAsFile(const ScratchDir &dir, const std::string &bytes) {
    std::string path = dir.write("in.bsv2", bytes);
    char message[128];
    Bsv2Cause cause = BSV2_CAUSE_NONE;
    Shape shape = readShapeFromFileWithCause(path.c_str(), message, sizeof message, &cause, nullptr);
    Reported file = reported(shape, cause, message);
    // Counts the file reader cannot allocate are read by the memory reader
    // as if it could (shape_memory_test.cpp).
    if (cause == BSV2_CAUSE_NO_MEMORY) return;
    shape = readShapeFromMemory(bytes.data(), bytes.size(), message, sizeof message, &cause);
    Reported memory = reported(shape, cause, message);
    ASSERT_TRUE(memory == file) << "input: \"" << bytes << "\"\n  memory: cause " << memory.cause << ", "
                                << memory.message << "\n  file:   cause " << file.cause << ", " << file.message;
}

TEST(Differential, ReadsMemoryAsItReadsAFileOfTheSameBytes) {
    ScratchDir dir;
    std::vector<std::string> corpus = corpusFiles();
    for (const std::string &text : corpus) expectMemoryReadAsFile(dir, text);
    std::mt19937 random(9122026);
    for (int i = 0; i < 2000; i++) expectMemoryReadAsFile(dir, mutate(corpus[random() % corpus.size()], random));
}

// Coordinates of every kind: ordinary, halfway cases of six decimals, huge,
// tiny, subnormal, infinite, not-a-number, and random bit patterns.
float randomCoordinate(std::mt19937 &random) {
    switch (random() % 6) {
        case 0:
            return std::uniform_real_distribution<float>(-10, 10)(random);
        case 1:
            return static_cast<float>(static_cast<int>(random() % 2000001) - 1000000) / 1024.0f;
        case 2:
            return std::ldexp(static_cast<float>(random() % 16777216), static_cast<int>(random() % 60) - 70);
        case 3:
            return static_cast<float>(static_cast<int>(random() % 20001) - 10000) * 0.0000005f;
        default: {
            std::uint32_t bits = static_cast<std::uint32_t>(random());
            float value;
            std::memcpy(&value, &bits, sizeof value);
            return value;
        }
    }
}

TEST(Differential, WritesTheBytesTheReferenceWritesToFilesAndMemory) {
    std::mt19937 random(8122026);
    for (int round = 0; round < 200; round++) {
        int numVertices = static_cast<int>(random() % 200);
        int numTris = static_cast<int>(random() % 200) - 20;  // some negative
        Shape shape = nullptr;
        captureOutput([&] { shape = createShape(numVertices, numTris); });  // negative counts are reported
        for (int i = 0; i < 3 * numVertices; i++) shape->vTable[i] = randomCoordinate(random);
        for (int i = 0; i < 3 * numTris; i++) shape->tTable[i] = static_cast<int>(random());
        WriteOutcome reference = writeOutcome(referenceWriteShapeToFile, shape);
        WriteOutcome library = writeOutcome(writeShapeToFile, shape);
        EXPECT_EQ(library.result, reference.result);
        EXPECT_EQ(library.err, reference.err);
        ASSERT_EQ(library.bytes, reference.bytes) << "round " << round;
        char *text = nullptr;
        std::size_t size = 0;
        ASSERT_EQ(writeShapeToMemory(shape, &text, &size, nullptr), 0);
        EXPECT_EQ(std::string(text, size), library.bytes) << "in memory, round " << round;
        releaseShapeText(text);
        destroyShape(shape);
    }
}

TEST(Differential, WritesWhatItReadsBackToTheSameShape) {
    std::mt19937 random(1812);
    Shape shape = createShape(5000, 0);
    for (int i = 0; i < 15000; i++) shape->vTable[i] = randomCoordinate(random);
    WriteOutcome written = writeOutcome(writeShapeToFile, shape);
    ASSERT_EQ(written.result, 0);
    ReadOutcome reference = readBytesOutcome(referenceReadShapeFromFile, written.bytes);
    ReadOutcome library = readBytesOutcome(readShapeFromFile, written.bytes);
    EXPECT_TRUE(library == reference) << describe(library) << "\n" << describe(reference);
    EXPECT_TRUE(library.loaded);
    destroyShape(shape);
}

}  // namespace
