// The reporting reader and writer print nothing and hand over exactly the
// text the printing ones print, cut to the caller's buffer, and the cause
// of each failure.
#include <gtest/gtest.h>
#include <pthread.h>

#include <cerrno>
#include <string>

#include "reader_messages.h"
#include "shape.h"
#include "stream_capture.h"
#include "test_files.h"

namespace {

struct ReportCase {
    const char *name;
    const char *bytes;  // the file's content; null: no file at all, or (directory) a folder
    Bsv2Cause cause;
    int systemError = 0;
    bool directory = false;
};

class ReportingReader : public testing::TestWithParam<ReportCase> {};

TEST_P(ReportingReader, HandsOverWhatTheReaderPrintsAndPrintsNothing) {
    ScratchDir dir;
    std::string path = GetParam().bytes != nullptr ? dir.write("in.bsv2", GetParam().bytes)
                       : GetParam().directory      ? dir.root
                                                   : dir.path("none.bsv2");
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
        if (size == 1) {
            EXPECT_EQ(message[1], 'x') << "wrote past a 1-byte buffer";
        }
        EXPECT_EQ(allocationFailed ? kAllocationFailed : "", expected.out);
        EXPECT_EQ(reported != nullptr, printed != nullptr);
        destroyShape(reported);
    }
    char message[256];
    Bsv2Cause cause = BSV2_CAUSE_NONE;
    int systemError = -1;
    Shape withCause = nullptr;
    Captured silence = captureOutput(
        [&] { withCause = readShapeFromFileWithCause(path.c_str(), message, sizeof message, &cause, &systemError); });
    EXPECT_EQ(silence.out + silence.err, "");
    EXPECT_EQ(message, expected.err);
    EXPECT_EQ(cause, GetParam().cause);
    EXPECT_EQ(systemError, GetParam().systemError);
    EXPECT_EQ(withCause != nullptr, printed != nullptr);
    destroyShape(withCause);
    destroyShape(printed);
}

INSTANTIATE_TEST_SUITE_P(
    Report, ReportingReader,
    testing::Values(ReportCase{"MissingFile", nullptr, BSV2_CAUSE_CANNOT_OPEN, ENOENT},
                    ReportCase{"Directory", nullptr, BSV2_CAUSE_CANNOT_READ, EISDIR, true},
                    ReportCase{"Empty", "", BSV2_CAUSE_ENDS_EARLY},
                    ReportCase{"WrongMagic", "BSV3\n1\n0\n0 0 0\n", BSV2_CAUSE_NOT_BSV2},
                    ReportCase{"NoVertices", "BSV2\n0\n0\n", BSV2_CAUSE_BAD_VERTEX_COUNT},
                    ReportCase{"TriangleCountNotANumber", "BSV2\n1\nx\n", BSV2_CAUSE_BAD_TRIANGLE_COUNT},
                    ReportCase{"ShortVertex", "BSV2\n1\n0\n0 0\n", BSV2_CAUSE_BAD_VERTEX},
                    ReportCase{"ShortTriangle", "BSV2\n1\n1\n0 0 0\n0 0\n", BSV2_CAUSE_BAD_TRIANGLE},
                    ReportCase{"VertexNumberOutOfRange", "BSV2\n1\n1\n0 0 0\n0 0 1\n", BSV2_CAUSE_VERTEX_OUT_OF_RANGE},
                    ReportCase{"NegativeTriangleCountLoads", "BSV2\n1\n-1\n0 0 0\n", BSV2_CAUSE_NONE},
                    ReportCase{"NegativeTriangleCountThenShortVertex", "BSV2\n1\n-1\n0 0\n", BSV2_CAUSE_BAD_VERTEX},
                    ReportCase{"Whole", "BSV2\n1\n1\n0 0 0\n0 0 0\n", BSV2_CAUSE_NONE}),
    [](const testing::TestParamInfo<ReportCase> &info) { return std::string(info.param.name); });

TEST(ReportingWriter, HandsOverWhatTheWriterPrintsAndPrintsNothing) {
    ScratchDir dir;
    Shape shape = createShape(1, 0);
    shape->vTable[0] = shape->vTable[1] = shape->vTable[2] = 0;
    struct {
        std::string path;
        Bsv2Cause cause;
        int systemError;
    } const targets[] = {{dir.path("no/such/dir.bsv2"), BSV2_CAUSE_CANNOT_OPEN, ENOENT},
                         {"/dev/full", BSV2_CAUSE_CANNOT_WRITE, ENOSPC},
                         {dir.path("fine.bsv2"), BSV2_CAUSE_NONE, 0}};
    for (const auto &target : targets) {
        const std::string &path = target.path;
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
            if (size == 1) {
                EXPECT_EQ(message[1], 'x') << "wrote past a 1-byte buffer";
            }
        }
        Bsv2Cause cause = BSV2_CAUSE_NONE;
        int systemError = -1;
        EXPECT_EQ(writeShapeToFileWithCause(shape, path.c_str(), nullptr, 0, &cause, &systemError), printed);
        EXPECT_EQ(cause, target.cause) << path;
        EXPECT_EQ(systemError, target.systemError) << path;
    }
    Bsv2Cause cause = BSV2_CAUSE_NONE;
    EXPECT_EQ(writeShapeToFileWithCause(nullptr, dir.path("null.bsv2").c_str(), nullptr, 0, &cause, nullptr), 1);
    EXPECT_EQ(cause, BSV2_CAUSE_BAD_ARGUMENT);
    destroyShape(shape);
}

// Threads are often given small stacks; the reader and writer keep their
// buffers on the heap.
TEST(ReaderAndWriter, RunOnAThreadWithA64KiBStack) {
    ScratchDir dir;
    static std::string path, copy;
    path = dir.write("in.bsv2", "BSV2\n3\n1\n0 0 0\n1 0 0\n0 1 0\n0 1 2\n");
    copy = dir.path("copy.bsv2");
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, 64 * 1024), 0);
    pthread_t thread;
    ASSERT_EQ(pthread_create(
                  &thread, &attributes,
                  [](void *) -> void * {
                      Shape shape = readShapeFromFile(path.c_str());
                      int written = shape != nullptr ? writeShapeToFile(shape, copy.c_str()) : -1;
                      destroyShape(shape);
                      return reinterpret_cast<void *>(static_cast<long>(written));
                  },
                  nullptr),
              0);
    void *written = nullptr;
    pthread_join(thread, &written);
    pthread_attr_destroy(&attributes);
    EXPECT_EQ(written, nullptr);  // status 0
    EXPECT_EQ(readWholeFile(copy), readWholeFile(path).substr(0, 5) +
                                       "3\n1\n0.000000 0.000000 0.000000\n"
                                       "1.000000 0.000000 0.000000\n"
                                       "0.000000 1.000000 0.000000\n0 1 2\n");
}

}  // namespace
