// The reporting reader and writer print nothing and hand over exactly the
// text the printing ones print, cut to the caller's buffer.
#include <gtest/gtest.h>

#include <string>

#include "capture.h"
#include "reader_messages.h"
#include "shape.h"
#include "test_files.h"

namespace {

struct ReportCase {
    const char *name;
    const char *bytes;  // the file's content; null: no file at all
};

class ReportingReader : public testing::TestWithParam<ReportCase> {};

TEST_P(ReportingReader, HandsOverWhatTheReaderPrintsAndPrintsNothing) {
    ScratchDir dir;
    std::string path = GetParam().bytes != nullptr ? dir.write("in.bsv2", GetParam().bytes) : dir.path("none.bsv2");
    Shape printed = nullptr;
    Captured expected = captureOutput([&] { printed = readShapeFromFile(path.c_str()); });

    for (std::size_t size : {std::size_t(256), std::size_t(1)}) {
        char message[256];
        std::fill(message, message + sizeof message, 'x');
        int allocationFailed = -1;
        Shape reported = nullptr;
        Captured silence = captureOutput(
            [&] { reported = readShapeFromFileReporting(path.c_str(), message, size, &allocationFailed); });
        EXPECT_EQ(silence.out + silence.err, "") << "size " << size;
        EXPECT_EQ(message, size == 1 ? std::string() : expected.err) << "size " << size;
        EXPECT_EQ(message[1], size == 1 ? 'x' : message[1]) << "wrote past a 1-byte buffer";
        EXPECT_EQ(allocationFailed ? kAllocationFailed : "", expected.out);
        EXPECT_EQ(reported != nullptr, printed != nullptr);
        destroyShape(reported);
    }
    destroyShape(printed);
}

INSTANTIATE_TEST_SUITE_P(
    Report, ReportingReader,
    testing::Values(ReportCase{"MissingFile", nullptr}, ReportCase{"WrongMagic", "BSV3\n1\n0\n0 0 0\n"},
                    ReportCase{"NoVertices", "BSV2\n0\n0\n"}, ReportCase{"ShortVertex", "BSV2\n1\n0\n0 0\n"},
                    ReportCase{"ShortTriangle", "BSV2\n1\n1\n0 0 0\n0 0\n"},
                    ReportCase{"VertexNumberOutOfRange", "BSV2\n1\n1\n0 0 0\n0 0 1\n"},
                    ReportCase{"NegativeTriangleCountLoads", "BSV2\n1\n-1\n0 0 0\n"},
                    ReportCase{"NegativeTriangleCountThenShortVertex", "BSV2\n1\n-1\n0 0\n"},
                    ReportCase{"Whole", "BSV2\n1\n1\n0 0 0\n0 0 0\n"}),
    [](const testing::TestParamInfo<ReportCase> &info) { return std::string(info.param.name); });

TEST(ReportingWriter, HandsOverWhatTheWriterPrintsAndPrintsNothing) {
    ScratchDir dir;
    Shape shape = createShape(1, 0);
    shape->vTable[0] = shape->vTable[1] = shape->vTable[2] = 0;
    for (std::string path : {dir.path("no/such/dir.bsv2"), std::string("/dev/full"), dir.path("fine.bsv2")}) {
        int printed = -1;
        Captured expected = captureOutput([&] { printed = writeShapeToFile(shape, path.c_str()); });
        for (std::size_t size : {std::size_t(256), std::size_t(1)}) {
            char message[256] = "xx";
            int reported = -1;
            Captured silence =
                captureOutput([&] { reported = writeShapeToFileReporting(shape, path.c_str(), message, size); });
            EXPECT_EQ(silence.out + silence.err, "") << path;
            EXPECT_EQ(reported, printed) << path;
            EXPECT_EQ(message, size == 1 ? std::string() : expected.err) << path;
            EXPECT_EQ(message[1], size == 1 ? 'x' : message[1]) << "wrote past a 1-byte buffer";
        }
    }
    destroyShape(shape);
}

}  // namespace
