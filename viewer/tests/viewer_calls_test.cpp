// The exact GL, GLU, GLUT and sleep calls of the viewer's start-up and
// frames, recorded by a stand-in linked in place of the real libraries.
#include <gtest/gtest.h>

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

const Calls kFrameStart = {"glClear(GL_COLOR_BUFFER_BIT)", "glColor3f(0, 1, 0)", "glLoadIdentity()",
                           "gluLookAt(5, 10, 5, 0, 0, 2, 0, 1, 0)", "glScalef(1, 2, 1)"};
const Calls kFrameEnd = {"glFlush()"};

// The calls that draw one triangle with these three corner positions.
Calls triangleCalls(const std::string &a, const std::string &b, const std::string &c) {
    return {"glBegin(GL_LINE_STRIP)",
            "glVertex3f(" + a + ")",
            "glVertex3f(" + b + ")",
            "glVertex3f(" + c + ")",
            "glVertex3f(" + a + ")",
            "glEnd()",
            "glFlush()"};
}

Calls join(std::initializer_list<Calls> parts) {
    Calls all;
    for (const Calls &part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

const Calls kGreen = {"glColor3f(0, 1, 0)"};
const Calls kRed = {"glColor3f(1, 0, 0)"};
const Calls kPause = {"sleep(3)"};

class ViewerCalls : public testing::Test {
protected:
    void SetUp() override { recordedCalls().clear(); }
    void TearDown() override {
        destroyShape(shape);
        destroyShape(shape2);
        shape = shape2 = nullptr;
    }
    Calls frame() {
        recordedCalls().clear();
        display();
        return recordedCalls();
    }
};

// Two triangles sharing an edge; vertex 3 is never used.
Shape twoTriangles() { return buildShape({0, 0, 0, 1, 0, 0, 0, 1, 0, 9, 9, 9, 1, 1, 0.5}, {0, 1, 2, 2, 1, 4}); }
const Calls kTwoTrianglesDrawn =
    join({triangleCalls("0, 0, 0", "1, 0, 0", "0, 1, 0"), triangleCalls("0, 1, 0", "1, 0, 0", "1, 1, 0.5")});

TEST_F(ViewerCalls, FrameWithNoModelsOnlyClearsPlacesCameraAndFlushes) {
    EXPECT_EQ(frame(), join({kFrameStart, kFrameEnd}));
}

TEST_F(ViewerCalls, FirstModelIsDrawnGreenWithoutPauses) {
    shape = twoTriangles();
    EXPECT_EQ(frame(), join({kFrameStart, kGreen, kTwoTrianglesDrawn, kFrameEnd}));
}

TEST_F(ViewerCalls, SecondModelIsDrawnRedWithAPauseAfterEveryTriangle) {
    shape = twoTriangles();
    shape2 = buildShape({-1, -2, -3, 4, 5, 6, 0.25f, 0, 1}, {2, 1, 0});
    Calls redTriangle = triangleCalls("0.25, 0, 1", "4, 5, 6", "-1, -2, -3");
    EXPECT_EQ(frame(), join({kFrameStart, kGreen, kTwoTrianglesDrawn, kRed, redTriangle, kPause, kFrameEnd}));
}

TEST_F(ViewerCalls, NullFirstSlotIsSkippedAndTheSecondStillDrawnRed) {
    shape2 = twoTriangles();
    Calls pausedTriangles = join({triangleCalls("0, 0, 0", "1, 0, 0", "0, 1, 0"), kPause,
                                  triangleCalls("0, 1, 0", "1, 0, 0", "1, 1, 0.5"), kPause});
    EXPECT_EQ(frame(), join({kFrameStart, kRed, pausedTriangles, kFrameEnd}));
}

TEST_F(ViewerCalls, ModelsWithoutTrianglesDrawNothingAndPauseForNothing) {
    shape = buildShape({0, 0, 0}, {});
    captureOutput([&] { shape2 = createShape(1, -2); });
    EXPECT_EQ(frame(), join({kFrameStart, kGreen, kRed, kFrameEnd}));
}

TEST_F(ViewerCalls, EveryFrameDrawsEverythingAgain) {
    shape2 = buildShape({0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 2});
    Calls first = frame();
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
