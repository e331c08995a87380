// bsv2-snapshot as a real process: its PNG against the real viewer's
// completed window under Xvfb, pixel for pixel, and how it refuses.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "test_files.h"
#include "x_display.h"

namespace {

const std::string kSnapshot = SNAPSHOT_PATH;
const std::string kViewer = VIEWER_PATH;
const std::string kModels = MODELS_DIR;
const std::string kWorstCase = WORST_CASE_SCRIPT;

const char kOneTriangle[] = "BSV2\n3\n1\n-3 -1 0\n3 -1 0\n0 2 3\n0 1 2\n";

// Random triangles over a region twice the view's size, so that lines
// cross the window's edges (and the near plane) everywhere; enough of them
// that the snapshot draws them in several slices.
std::string randomMeshCrossingTheEdges() {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> coordinate(-12, 12);
    const int kVertices = 1500, kTriangles = 20000;
    std::string text = "BSV2\n" + std::to_string(kVertices) + "\n" + std::to_string(kTriangles) + "\n";
    for (int i = 0; i < 3 * kVertices; i++) text += std::to_string(coordinate(random)) + (i % 3 == 2 ? "\n" : " ");
    std::uniform_int_distribution<int> vertex(0, kVertices - 1);
    for (int j = 0; j < 3 * kTriangles; j++) text += std::to_string(vertex(random)) + (j % 3 == 2 ? "\n" : " ");
    return text;
}

struct PixelCase {
    const char *name;
    // Each model: a file in models/, "@NAME" a file this test writes (from
    // `written`), or "-" a file that does not exist.
    std::vector<std::string> models;
    int redTriangles;  // the viewer's frame is complete 3 s after each
};

std::string modelPath(const std::string &model, const ScratchDir &dir) {
    if (model == "-") return dir.path("missing.bsv2");
    if (model == "@triangle") return dir.write("triangle.bsv2", kOneTriangle);
    if (model == "@random") return dir.write("random.bsv2", randomMeshCrossingTheEdges());
    return kModels + "/" + model;
}

std::size_t differingPixels(const Screenshot &a, const Screenshot &b) {
    if (a.width != b.width || a.height != b.height) return a.rgb.size() + b.rgb.size();
    std::size_t differing = 0;
    for (std::size_t i = 0; i < a.rgb.size(); i += 3) differing += !std::equal(&a.rgb[i], &a.rgb[i] + 3, &b.rgb[i]);
    return differing;
}

class SameAsTheViewer : public testing::TestWithParam<PixelCase> {};

TEST_P(SameAsTheViewer, PixelForPixel) {
    ScratchDir dir;
    std::vector<std::string> files;
    for (const std::string &model : GetParam().models) files.push_back(modelPath(model, dir));
    std::vector<std::string> argv = {kSnapshot};
    argv.insert(argv.end(), files.begin(), files.end());
    argv.push_back(dir.path("snapshot.png"));
    Finished snapshot = runToEnd(argv, dir.root);
    ASSERT_EQ(snapshot.status, 0) << snapshot.err;
    Screenshot expected = readPng(dir.path("snapshot.png"));
    ASSERT_EQ(expected.width, 500);

    VirtualDisplay display = startVirtualDisplay();
    std::vector<std::string> viewerArgv = {kViewer};
    viewerArgv.insert(viewerArgv.end(), files.begin(), files.end());
    RunningProcess viewer = startProcess(viewerArgv, display.name, dir.root);
    WindowInfo window = waitForWindow(display.name, kViewer, 20);
    ASSERT_FALSE(window.id.empty());
    // The window matches once its frame is complete: each red triangle
    // comes 3 s after the last.
    double deadline = secondsNow() + 3 * GetParam().redTriangles + 20;
    Screenshot shown = takeScreenshot(display.name, window.id);
    while (differingPixels(shown, expected) != 0 && secondsNow() < deadline) {
        sleepSeconds(0.25);
        shown = takeScreenshot(display.name, window.id);
    }
    EXPECT_EQ(differingPixels(shown, expected), 0u);
    ColourCounts counts = countColours(expected);
    if (GetParam().models.empty()) {
        EXPECT_EQ(counts.green + counts.red + counts.other, 0);
    }
    stopProcess(viewer);
    stopVirtualDisplay(display);
}

INSTANTIATE_TEST_SUITE_P(Snapshot, SameAsTheViewer,
                         testing::Values(PixelCase{"CubeAndTent", {"cube.bsv2", "tent.bsv2"}, 3},
                                         PixelCase{"FirstOnly", {"octahedron.bsv2"}, 0}, PixelCase{"NoFile", {}, 0},
                                         PixelCase{"FirstFailsSecondLoads", {"-", "@triangle"}, 1},
                                         PixelCase{"LinesCrossingTheEdges", {"@random"}, 0}),
                         [](const testing::TestParamInfo<PixelCase> &info) { return std::string(info.param.name); });

// Inputs a run is given that this test makes ("+NAME" in a row's args).
std::string makeInput(const std::string &name, const ScratchDir &inputs) {
    std::string path = inputs.path(name + ".bsv2");
    if (name == "worst-case-10mb" || name == "worst-case-outside-10mb") {
        std::vector<std::string> argv = {"bash", kWorstCase, "10", path};
        if (name == "worst-case-outside-10mb") argv.insert(argv.begin() + 2, "--outside");
        EXPECT_EQ(runToEnd(argv, inputs.root).status, 0);
    } else if (name == "huge-counts-tiny-file") {
        inputs.write(name + ".bsv2", "BSV2\n2147483647\n1\n0 0 0\n");
    } else if (name == "huge-counts-sparse-file") {
        // 14 million vertices, 268 MiB with their projections, in a file
        // long enough for them (a hole: it takes no room on the disk).
        inputs.write(name + ".bsv2", "BSV2\n14000000\n0\n");
        EXPECT_EQ(truncate(path.c_str(), 100 << 20), 0);
    } else {
        ADD_FAILURE() << "no input called " << name;
    }
    return path;
}

const int kAnyLines = -1;

struct RunCase {
    const char *name;
    std::vector<std::string> args;  // "@NAME" is NAME in the scratch folder, "+NAME" an input made by makeInput
    int status;
    std::string errHolds;  // part of standard error ("" when it must be empty)
    int errLines;          // the lines on standard error, or kAnyLines
    int size;              // the PNG's side, or 0: no PNG may be left
};

class Runs : public testing::TestWithParam<RunCase> {};

TEST_P(Runs, GiveTheirStatusAndAWholePngOrNone) {
    ScratchDir dir, inputs;
    std::vector<std::string> argv = {kSnapshot};
    for (const std::string &arg : GetParam().args) {
        argv.push_back(arg == "@cube"  ? kModels + "/cube.bsv2"
                       : arg[0] == '@' ? dir.path(arg.substr(1))
                       : arg[0] == '+' ? makeInput(arg.substr(1), inputs)
                                       : arg);
    }
    Finished run = runToEnd(argv, dir.root);
    EXPECT_EQ(run.status, GetParam().status) << run.err;
    if (GetParam().errHolds.empty()) {
        EXPECT_EQ(run.err, "");
    } else {
        EXPECT_NE(run.err.find(GetParam().errHolds), std::string::npos) << run.err;
    }
    if (GetParam().errLines != kAnyLines) {
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), GetParam().errLines) << run.err;
    }
    Screenshot png = readPng(dir.path("out.png"));
    EXPECT_EQ(png.width, GetParam().size);
    EXPECT_EQ(png.height, GetParam().size);
    if (GetParam().size > 0) {
        EXPECT_GT(countColours(png).green, 0);
    }
    // Nothing else: no temporary file left beside the output.
    std::size_t files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir.root))
        files += entry.path().filename().string().rfind("process", 0) != 0;
    EXPECT_EQ(files, GetParam().size > 0 ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Snapshot, Runs,
    testing::Values(
        RunCase{"ThumbnailSize", {"--size", "128", "@cube", "@out.png"}, 0, "", 0, 128},
        RunCase{"OutputInAMissingFolder",
                {"@cube", "@no/such/out.png"},
                3,
                "no/such/out.png: cannot create a file in",
                1,
                0},
        RunCase{"EveryFileFails",
                {"@none.bsv2", "@nothing.bsv2", "@out.png"},
                1,
                "nothing.bsv2: Read error! (No such file or directory)",
                2,
                0},
        RunCase{"SizeOutOfRange", {"--size", "0", "@cube", "@out.png"}, 2, "--size needs", kAnyLines, 0},
        RunCase{"TooManyFiles", {"@cube", "@cube", "@cube", "@out.png"}, 2, "at most two models", kAnyLines, 0},
        RunCase{"CountsBeyondTheFileLength",
                {"+huge-counts-tiny-file", "@out.png"},
                1,
                "claims 2147483647 vertices and 1 triangles, more than its 24 bytes can hold",
                1,
                0},
        // The budget of --thumbnail: the cube passes; the rest give up with
        // one line and no PNG, before the work when it can be weighed. (The
        // worst case out of view takes over 15 s of CPU time at 512 pixels
        // here, well over the budget on a faster machine too.)
        RunCase{"ThumbnailModeOfTheCube", {"--thumbnail", "--size", "128", "@cube", "@out.png"}, 0, "", 0, 128},
        RunCase{"ThumbnailTablesOverTheBudget",
                {"--thumbnail", "--size", "128", "+huge-counts-sparse-file", "@out.png"},
                5,
                "its tables need 268 MiB",
                1,
                0},
        RunCase{"ThumbnailDrawingKnownOverTheBudget",
                {"--thumbnail", "--size", "128", "+worst-case-10mb", "@out.png"},
                5,
                "its lines would cover more than the thumbnail budget",
                1,
                0},
        RunCase{"ThumbnailCpuTimeOverTheBudget",
                {"--thumbnail", "--size", "512", "+worst-case-outside-10mb", "@out.png"},
                5,
                "gave up: more than the thumbnail budget of 5 s of CPU time",
                1,
                0}),
    [](const testing::TestParamInfo<RunCase> &info) { return std::string(info.param.name); });

// What a thumbnailer meets unattended, beyond the budget's own table.

// A pipe named as a model is left out without being opened: opening it
// would let a writer waiting on it go on (and opening a device, act on it).
TEST(ThumbnailInput, APipeIsNotOpened) {
    ScratchDir dir;
    std::string pipe = dir.path("in.bsv2");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::atomic<bool> writerWentOn{false};
    std::thread writer([&] {
        int fd = open(pipe.c_str(), O_WRONLY | O_CLOEXEC);
        writerWentOn = true;
        if (fd >= 0) close(fd);
    });
    sleepSeconds(0.2);  // the writer waits in open() by now
    Finished run = runToEnd({kSnapshot, "--thumbnail", "--size", "128", pipe, dir.path("out.png")}, dir.root);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("is not a regular file"), std::string::npos) << run.err;
    sleepSeconds(0.2);
    EXPECT_FALSE(writerWentOn);
    int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);  // lets the writer end
    writer.join();
    close(reader);
}

// A file whose header changes while it is read (another user's file in a
// shared folder): the tables the reader makes are the ones weighed. Here the
// header says 1 triangle or 2000000000, turn by turn; the snapshot must draw
// the one or refuse the other for the file's length, never hand the reader
// counts it did not weigh (which once allocated past the budget).
TEST(ThumbnailInput, AFileThatChangesIsReadAsWeighed) {
    ScratchDir dir;
    std::string text = "BSV2\n3\n0000000001\n-3 -1 0\n3 -1 0\n0 2 3\n";
    for (int i = 0; i < 1000; i++) text += "0 1 2\n";
    std::string model = dir.write("in.bsv2", text);
    int fd = open(model.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::atomic<bool> done{false};
    std::thread changer([&] {
        while (!done) {
            for (const char *count : {"0000000001", "2000000000"}) {
                EXPECT_EQ(pwrite(fd, count, 10, 7), 10);
                usleep(30);
            }
        }
    });
    int drawn = 0, refused = 0;
    for (int i = 0; i < 30; i++) {
        Finished run = runToEnd({kSnapshot, "--thumbnail", "--size", "64", model, dir.path("out.png")}, dir.root);
        if (run.status == 4) break;  // no EGL here: nothing is drawn at all
        if (run.status == 0) {
            drawn++;
        } else {
            EXPECT_EQ(run.status, 1);
            EXPECT_NE(run.err.find("claims 3 vertices and 2000000000 triangles, more than its"), std::string::npos)
                << run.err;
            refused++;
        }
        std::remove(dir.path("out.png").c_str());
    }
    done = true;
    changer.join();
    close(fd);
    std::printf("[   NOTE   ] drawn %d times, refused %d times\n", drawn, refused);
}

}  // namespace
