// The viewer as a real process on a virtual X server: its window, its
// command line, and what its window shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_files.h"
#include "x_display.h"

namespace {

const std::string kViewer = VIEWER_PATH;
const std::string kModels = MODELS_DIR;

const std::string kOneTriangle = "BSV2\n3\n1\n-3 -1 0\n3 -1 0\n0 2 3\n0 1 2\n";

class ViewerWindow : public testing::Test {
protected:
    void SetUp() override { display = startVirtualDisplay(); }
    void TearDown() override {
        stopProcess(viewer);
        stopVirtualDisplay(display);
    }
    // Starts the viewer with these arguments after its name.
    void start(const std::vector<std::string> &args) {
        std::vector<std::string> argv = {kViewer};
        argv.insert(argv.end(), args.begin(), args.end());
        viewer = startProcess(argv, display.name, scratch.root);
    }
    WindowInfo window() { return waitForWindow(display.name, kViewer, 20); }
    std::string err() { return readWholeFile(viewer.errPath); }
    std::string out() { return readWholeFile(viewer.outPath); }

    ScratchDir scratch;
    VirtualDisplay display;
    RunningProcess viewer;
};

void expectStandardWindow(const WindowInfo &window) {
    ASSERT_FALSE(window.id.empty()) << "no window titled " << kViewer;
    EXPECT_EQ(window.width, 500);
    EXPECT_EQ(window.height, 500);
    EXPECT_EQ(window.x, 100);
    EXPECT_EQ(window.y, 100);
}

TEST_F(ViewerWindow, NoArgumentsOpensBlackWindowOfFiveHundredSquareAtOneHundred) {
    start({});
    WindowInfo shown = window();
    expectStandardWindow(shown);
    sleepSeconds(1);
    Screenshot shot = takeScreenshot(display.name, shown.id);
    ASSERT_EQ(shot.width, 500);
    ColourCounts counts = countColours(shot);
    EXPECT_EQ(counts.green + counts.red + counts.other, 0);
    EXPECT_FALSE(waitForExit(viewer, 0)) << "the viewer ended on its own";
    EXPECT_EQ(out(), "");
    EXPECT_EQ(err(), "");
}

TEST_F(ViewerWindow, ThreeFileArgumentsGiveUsageOnStandardOutputAndStatusOne) {
    start({kModels + "/cube.bsv2", "missing-1.bsv2", "missing-2.bsv2"});
    ASSERT_TRUE(waitForExit(viewer, 20));
    EXPECT_EQ(viewer.exitStatus, 1);
    EXPECT_EQ(out(), "Usage: " + kViewer + " fileName\n");
    // No file was opened, so none of the reader's messages appear.
    EXPECT_EQ(err().find("Read error"), std::string::npos) << err();
}

TEST_F(ViewerWindow, GeometryOptionIsGlutsOwnAndChangesNothing) {
    start({"-geometry", "300x300+10+10", kModels + "/cube.bsv2", kModels + "/tent.bsv2"});
    expectStandardWindow(window());
    EXPECT_FALSE(waitForExit(viewer, 0.5)) << "the viewer ended: " << out() << err();
    EXPECT_EQ(out(), "");
}

TEST_F(ViewerWindow, GeometryOptionDoesNotHideAThirdFile) {
    start({"-geometry", "300x300+10+10", "a.bsv2", "b.bsv2", "c.bsv2"});
    ASSERT_TRUE(waitForExit(viewer, 20));
    EXPECT_EQ(viewer.exitStatus, 1);
    EXPECT_EQ(out(), "Usage: " + kViewer + " fileName\n");
}

TEST_F(ViewerWindow, FileThatFailsToLoadIsReportedAndTheViewerRunsOn) {
    std::string zero = scratch.write("zero.bsv2", "BSV2\n0\n0\n");
    start({scratch.path("missing.bsv2"), zero});
    expectStandardWindow(window());
    EXPECT_FALSE(waitForExit(viewer, 1)) << "the viewer ended";
    EXPECT_EQ(err(), "Read error!\nYou can't have less than 0 vertices!");
}

TEST_F(ViewerWindow, TwoHostileFilesAreBothReportedAndTheWindowStaysBlack) {
    std::string garbage = scratch.write("garbage.bsv2", std::string("\x7f"
                                                                    "ELF\x02\x01\x01\0\0\0",
                                                                    10));
    std::string outOfRange = scratch.write("range.bsv2", "BSV2\n3\n1\n0 0 0\n1 0 0\n0 1 0\n0 1 3\n");
    start({garbage, outOfRange});
    WindowInfo shown = window();
    expectStandardWindow(shown);
    sleepSeconds(1);
    EXPECT_FALSE(waitForExit(viewer, 0)) << "the viewer ended";
    ColourCounts counts = countColours(takeScreenshot(display.name, shown.id));
    EXPECT_EQ(counts.green + counts.red + counts.other, 0);
    EXPECT_EQ(err(), "File is not BSV2 format!\nVertex number out of range in tTable read\n");
}

bool hasGreen(const ColourCounts &counts) { return counts.green > 200; }
bool hasRed(const ColourCounts &counts) { return counts.red > 50; }

TEST_F(ViewerWindow, OneModelShowsGreenLinesAndNoRed) {
    start({kModels + "/cube.bsv2"});
    WindowInfo shown = window();
    ASSERT_FALSE(shown.id.empty());
    ColourCounts counts = waitForColours(display.name, shown.id, 10, hasGreen);
    EXPECT_TRUE(hasGreen(counts)) << counts.green << " green pixels";
    // Another second for anything late to show up.
    sleepSeconds(1);
    counts = countColours(takeScreenshot(display.name, shown.id));
    EXPECT_TRUE(hasGreen(counts));
    EXPECT_EQ(counts.red, 0);
    EXPECT_EQ(err(), "");
}

TEST_F(ViewerWindow, SecondModelOfOneTriangleAppearsInRedOverTheGreen) {
    std::string triangle = scratch.write("triangle.bsv2", kOneTriangle);
    start({kModels + "/cube.bsv2", triangle});
    WindowInfo shown = window();
    ASSERT_FALSE(shown.id.empty());
    ColourCounts counts =
        waitForColours(display.name, shown.id, 10, [](const ColourCounts &c) { return hasGreen(c) && hasRed(c); });
    EXPECT_TRUE(hasGreen(counts)) << counts.green << " green pixels";
    EXPECT_TRUE(hasRed(counts)) << counts.red << " red pixels";
}

TEST_F(ViewerWindow, FirstFileFailingLeavesOnlyTheSecondInRed) {
    std::string triangle = scratch.write("triangle.bsv2", kOneTriangle);
    start({scratch.path("missing.bsv2"), triangle});
    WindowInfo shown = window();
    ASSERT_FALSE(shown.id.empty());
    ColourCounts counts = waitForColours(display.name, shown.id, 10, hasRed);
    EXPECT_TRUE(hasRed(counts)) << counts.red << " red pixels";
    EXPECT_EQ(counts.green, 0);
    EXPECT_EQ(err(), "Read error!\n");
}

// Green pixels left and right of the window's middle.
std::pair<int, int> greenLeftAndRight(const Screenshot &shot) {
    std::pair<int, int> counts = {0, 0};
    for (int y = 0; y < shot.height; y++) {
        for (int x = 0; x < shot.width; x++) {
            const unsigned char *pixel = &shot.rgb[3 * (static_cast<std::size_t>(y) * shot.width + x)];
            if (pixel[1] > 160 && pixel[0] < 96 && pixel[2] < 96) (x < shot.width / 2 ? counts.first : counts.second)++;
        }
    }
    return counts;
}

// A first model that takes seconds to draw under Xvfb (every triangle is
// flushed): 40000 small triangles left of the middle, then its last ten,
// large, right of it, where nothing else is drawn. The capture script must
// wait for them.
TEST(Capture, WaitsForABigFirstModelToBeDrawnWhole) {
    ScratchDir scratch;
    // Along the screen's horizontal: the camera looks from (5, 10, 5) at
    // (0, 0, 2), so (3, 0, -5) points to the right.
    auto at = [](double across, double dx, double dz) {
        return std::to_string(across * 3 / 5.83 + dx) + " 0 " + std::to_string(2 - across * 5 / 5.83 + dz) + "\n";
    };
    const int kSmall = 40000, kLarge = 10;
    std::string vertices, triangles;
    for (int j = 0; j < kSmall + kLarge; j++) {
        double across = j < kSmall ? -5 - (j % 7) * 0.3 : 5 + (j - kSmall) * 0.2, size = j < kSmall ? 0.2 : 2;
        vertices += at(across, 0, 0) + at(across, size, 0) + at(across, 0, size);
        triangles += std::to_string(3 * j) + " " + std::to_string(3 * j + 1) + " " + std::to_string(3 * j + 2) + "\n";
    }
    std::string model = scratch.write("big.bsv2", "BSV2\n" + std::to_string(3 * (kSmall + kLarge)) + "\n" +
                                                      std::to_string(kSmall + kLarge) + "\n" + vertices + triangles);
    std::string png = scratch.path("shot.png");
    Finished run = runToEnd({"/bin/bash", CAPTURE_SCRIPT, kViewer, png, model}, scratch.root, 110);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Screenshot: " + png + "\n");  // complete, not cut short by the limit
    std::pair<int, int> green = greenLeftAndRight(readPng(png));
    EXPECT_GT(green.first, 40);
    EXPECT_GT(green.second, 300) << "the last triangles are missing";
}

#ifdef CONVERTER_PATH
// The box around the green pixels of a screenshot.
struct Bounds {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
};

Bounds greenBounds(const Screenshot &shot) {
    Bounds box;
    for (int y = 0; y < shot.height; y++) {
        for (int x = 0; x < shot.width; x++) {
            const unsigned char *pixel = &shot.rgb[3 * (static_cast<std::size_t>(y) * shot.width + x)];
            if (pixel[1] > 160 && pixel[0] < 96 && pixel[2] < 96) {
                box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x), std::max(box.bottom, y)};
            }
        }
    }
    return box;
}

// A mesh far out of the fixed view, huge and off to one side, converted with
// --fit: the viewer then shows all of it, filling most of the window.
TEST_F(ViewerWindow, FittedMeshIsSeenWholeAndLarge) {
    std::string obj;
    for (int i = 0; i < 8; i++) {
        obj += "v " + std::to_string(100000 + (i & 1) * 20000) + " " + std::to_string(-50000 + (i & 2) * 5000) + " " +
               std::to_string(300000 + (i & 4) * 7500) + "\n";
    }
    obj += "f 1 2 4 3\nf 5 7 8 6\nf 1 5 6 2\nf 3 4 8 7\nf 1 3 7 5\nf 2 6 8 4\n";
    std::string input = scratch.write("far.obj", obj);
    std::string fitted = scratch.path("fitted.bsv2");
    Finished converted = runToEnd({CONVERTER_PATH, "--fit", input, fitted}, scratch.root);
    ASSERT_EQ(converted.status, 0) << converted.err;
    start({fitted});
    WindowInfo shown = window();
    ASSERT_FALSE(shown.id.empty());
    ColourCounts counts = waitForColours(display.name, shown.id, 10, hasGreen);
    ASSERT_TRUE(hasGreen(counts));
    Bounds box = greenBounds(takeScreenshot(display.name, shown.id));
    const int margin = 3;
    EXPECT_GE(box.left, margin);
    EXPECT_GE(box.top, margin);
    EXPECT_LT(box.right, 500 - margin);
    EXPECT_LT(box.bottom, 500 - margin);
    EXPECT_GE(std::max(box.right - box.left, box.bottom - box.top), 300)
        << box.left << "," << box.top << " to " << box.right << "," << box.bottom;
}
#endif

}  // namespace
