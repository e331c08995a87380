// The viewer's start-up and frames through its GL, GLU, GLUT and sleep
// calls, recorded by a stand-in linked in place of the real libraries: the
// start-up's calls as made, a frame by what it draws (each outline's
// colour and corners, in order, each flushed as it is drawn, the pause
// after each of the second model's).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "build_shape.h"
#include "gl_recorder.h"
#include "shape.h"
#include "stream_capture.h"
#include "test_files.h"
#include "viewer.h"

int viewerMain(int argc, char **argv);  // the viewer's main, renamed for this test

namespace {

using Calls = std::vector<std::string>;

// One triangle's outline as the frame drew it.
struct Outline {
    std::string colour;         // the current colour, as "red, green, blue"
    Calls corners;              // the vertices of its line strip, each as "x, y, z"
    unsigned pauseSeconds = 0;  // slept after it
    bool flushed = false;       // flushed right after it was ended
    bool operator==(const Outline &other) const {
        return colour == other.colour && corners == other.corners && pauseSeconds == other.pauseSeconds &&
               flushed == other.flushed;
    }
};

// What a frame did, read from the calls it made rather than compared with
// a transcript: any sequence of calls that draws the same shows the same.
struct Frame {
    bool clearedFirst = false;  // the colour buffer was cleared before anything was drawn
    bool cameraPlaced = false;  // the camera (from the identity) and the y stretch, before any outline
    std::vector<Outline> outlines;
    bool flushedLast = false;  // the frame ended with a flush
};

std::string arguments(const std::string &call) {
    std::size_t open = call.find('(');
    return call.substr(open + 1, call.size() - open - 2);
}

Frame frameOf(const Calls &calls) {
    Frame frame;
    std::string colour = "unset";
    bool fromIdentity = false, lookedAt = false, stripOpen = false, justEnded = false;
    for (const std::string &call : calls) {
        std::string name = call.substr(0, call.find('('));
        bool nothingDrawn = frame.outlines.empty() && !stripOpen;
        if (call == "glClear(GL_COLOR_BUFFER_BIT)" && nothingDrawn) frame.clearedFirst = true;
        if (name == "glColor3f") colour = arguments(call);
        if (name == "glLoadIdentity") fromIdentity = true;
        if (call == "gluLookAt(5, 10, 5, 0, 0, 2, 0, 1, 0)") lookedAt = fromIdentity;
        if (call == "glScalef(1, 2, 1)" && lookedAt && nothingDrawn) frame.cameraPlaced = true;
        if (call == "glBegin(GL_LINE_STRIP)") {
            frame.outlines.push_back({colour, {}});
            stripOpen = true;
        }
        if (name == "glVertex3f" && stripOpen) frame.outlines.back().corners.push_back(arguments(call));
        if (name == "glFlush" && justEnded) frame.outlines.back().flushed = true;
        justEnded = name == "glEnd" && stripOpen;
        if (name == "glEnd") stripOpen = false;
        if (name == "sleep" && !frame.outlines.empty())
            frame.outlines.back().pauseSeconds += static_cast<unsigned>(std::stoul(arguments(call)));
    }
    frame.flushedLast = !calls.empty() && calls.back() == "glFlush()";
    return frame;
}

Calls join(std::initializer_list<Calls> parts) {
    Calls all;
    for (const Calls &part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

const std::string kGreen = "0, 1, 0";
const std::string kRed = "1, 0, 0";

// The outline the viewer must show for the triangle with these corners:
// closed by its first corner again, flushed as soon as it is drawn.
Outline shown(const std::string &colour, const std::string &a, const std::string &b, const std::string &c,
              unsigned pauseSeconds) {
    return {colour, {a, b, c, a}, pauseSeconds, true};
}

class ViewerCalls : public testing::Test {
protected:
    void SetUp() override { recordedCalls().clear(); }
    void TearDown() override {
        destroyShape(shape);
        destroyShape(shape2);
        shape = shape2 = nullptr;
    }
    // One frame of the display callback, checked for what every frame
    // does: clear, camera, the final flush.
    std::vector<Outline> frame() {
        recordedCalls().clear();
        display();
        Frame seen = frameOf(recordedCalls());
        EXPECT_TRUE(seen.clearedFirst);
        EXPECT_TRUE(seen.cameraPlaced);
        EXPECT_TRUE(seen.flushedLast);
        return seen.outlines;
    }
};

// Two triangles sharing an edge; vertex 3 is never used.
Shape twoTriangles() { return buildShape({0, 0, 0, 1, 0, 0, 0, 1, 0, 9, 9, 9, 1, 1, 0.5}, {0, 1, 2, 2, 1, 4}); }
std::vector<Outline> twoTrianglesShown(const std::string &colour, unsigned pauseSeconds) {
    return {shown(colour, "0, 0, 0", "1, 0, 0", "0, 1, 0", pauseSeconds),
            shown(colour, "0, 1, 0", "1, 0, 0", "1, 1, 0.5", pauseSeconds)};
}

TEST_F(ViewerCalls, FrameWithNoModelsOnlyClearsPlacesCameraAndFlushes) { EXPECT_EQ(frame(), std::vector<Outline>{}); }

TEST_F(ViewerCalls, FirstModelIsDrawnGreenEachTriangleFlushedWithoutPauses) {
    shape = twoTriangles();
    EXPECT_EQ(frame(), twoTrianglesShown(kGreen, 0));
}

TEST_F(ViewerCalls, SecondModelIsDrawnRedAfterTheFirstWithAPauseAfterEveryTriangle) {
    shape = twoTriangles();
    shape2 = buildShape({-1, -2, -3, 4, 5, 6, 0.25f, 0, 1}, {2, 1, 0});
    std::vector<Outline> expected = twoTrianglesShown(kGreen, 0);
    expected.push_back(shown(kRed, "0.25, 0, 1", "4, 5, 6", "-1, -2, -3", 3));
    EXPECT_EQ(frame(), expected);
}

TEST_F(ViewerCalls, NullFirstSlotIsSkippedAndTheSecondStillDrawnRed) {
    shape2 = twoTriangles();
    EXPECT_EQ(frame(), twoTrianglesShown(kRed, 3));
}

TEST_F(ViewerCalls, ModelsWithoutTrianglesDrawNothingAndPauseForNothing) {
    shape = buildShape({0, 0, 0}, {});
    captureOutput([&] { shape2 = createShape(1, -2); });
    EXPECT_EQ(frame(), std::vector<Outline>{});
    EXPECT_EQ(std::count(recordedCalls().begin(), recordedCalls().end(), "sleep(3)"), 0);
}

TEST_F(ViewerCalls, EveryFrameDrawsEverythingAgain) {
    shape2 = buildShape({0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 2});
    std::vector<Outline> first = frame();
    EXPECT_EQ(first.size(), 1u);
    EXPECT_EQ(frame(), first);
}

struct ReshapeCase {
    int width, height;
};

class ViewerReshape : public testing::TestWithParam<ReshapeCase> {};

TEST_P(ViewerReshape, CoversTheWindowWithAFixedSquarePerspective) {
    recordedCalls().clear();
    reshape(GetParam().width, GetParam().height);
    Calls expected = {
        "glViewport(0, 0, " + std::to_string(GetParam().width) + ", " + std::to_string(GetParam().height) + ")",
        "glMatrixMode(GL_PROJECTION)",
        "glLoadIdentity()",
        "gluPerspective(90, 1, 1, 1000)",
        "glMatrixMode(GL_MODELVIEW)",
        "glLoadIdentity()"};
    EXPECT_EQ(recordedCalls(), expected);
}

INSTANTIATE_TEST_SUITE_P(Viewer, ViewerReshape,
                         testing::Values(ReshapeCase{500, 500}, ReshapeCase{800, 300}, ReshapeCase{1, 1000}));

// Runs the viewer's main with these arguments after the program name.
int runMain(std::vector<std::string> args, Captured *output) {
    args.insert(args.begin(), "bsv2-viewer");
    std::vector<char *> argv;
    for (std::string &arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    recordedCalls().clear();
    int status = -1;
    *output = captureOutput([&] { status = viewerMain(static_cast<int>(args.size()), argv.data()); });
    return status;
}

const Calls kWindowOpened = {"glutInitDisplayMode(0)", "glutInitWindowSize(500, 500)",
                             "glutInitWindowPosition(100, 100)", "glutCreateWindow(bsv2-viewer)"};
const Calls kLoopStarted = {"glClearColor(0, 0, 0, 0)", "glutDisplayFunc(display)", "glutReshapeFunc(reshape)",
                            "glutMouseFunc(mouse)", "glutMainLoop()"};

TEST_F(ViewerCalls, MainOpensWindowLoadsBothFilesThenStartsTheLoop) {
    ScratchDir dir;
    std::string first = dir.write("first.bsv2", "BSV2\n3\n1\n0 0 0 1 0 0 0 1 0\n0 1 2\n");
    std::string second = dir.write("second.bsv2", "BSV2\n1\n0\n5 5 5\n");
    Captured output;
    EXPECT_EQ(runMain({"-geometry", "300x300+10+10", first, second}, &output), 0);
    Calls expected = join({{"glutInit(5, bsv2-viewer, -geometry, 300x300+10+10, " + first + ", " + second + ")"},
                           kWindowOpened,
                           kLoopStarted});
    EXPECT_EQ(recordedCalls(), expected);
    ASSERT_NE(shape, nullptr);
    ASSERT_NE(shape2, nullptr);
    EXPECT_EQ(numTriangles(shape), 1);
    EXPECT_EQ(shape2->vTable[0], 5.0f);
    EXPECT_EQ(output.out + output.err, "");
}

TEST_F(ViewerCalls, MainKeepsSecondModelInItsSlotWhenTheFirstFails) {
    ScratchDir dir;
    std::string second = dir.write("second.bsv2", "BSV2\n1\n0\n5 5 5\n");
    Captured output;
    EXPECT_EQ(runMain({dir.path("missing.bsv2"), second}, &output), 0);
    EXPECT_EQ(shape, nullptr);
    ASSERT_NE(shape2, nullptr);
    EXPECT_EQ(output.err, "Read error!\n");
}

TEST_F(ViewerCalls, MainRefusesThreeFilesAfterOpeningTheWindowAndReadsNone) {
    ScratchDir dir;
    std::string model = dir.write("model.bsv2", "BSV2\n1\n0\n5 5 5\n");
    Captured output;
    EXPECT_EQ(runMain({model, model, model}, &output), 1);
    Calls expected = join({{"glutInit(4, bsv2-viewer, " + model + ", " + model + ", " + model + ")"}, kWindowOpened});
    EXPECT_EQ(recordedCalls(), expected);
    EXPECT_EQ(output.out, "Usage: bsv2-viewer fileName\n");
    EXPECT_EQ(output.err, "");
    EXPECT_EQ(shape, nullptr);
    EXPECT_EQ(shape2, nullptr);
}

}  // namespace
