// The viewer's window callbacks: background, projection, and the frame
// that display draws (frame.h), flushing each outline as it is drawn and
// pausing after each of the second model's.
#include "viewer.h"

#include <GL/glut.h>

#include "frame.h"
#include "gl_view.h"

Shape shape = nullptr;
Shape shape2 = nullptr;

void init() { glClearColor(0.0f, 0.0f, 0.0f, 0.0f); }

void reshape(int width, int height) {
    glViewport(0, 0, width, height);
    setViewProjection();
}

void display() {
    // Each triangle's outline shown as soon as it is drawn; three seconds
    // after each of the second model's.
    const FramePacing kWindowPacing = {1, Flush::kShow, 3};
    drawFrame(shape, shape2, kWindowPacing);
}

void mouse(int, int, int, int) {}
