// The viewer's window set-up: background, projection, camera, the frame
// that display draws the models in, and the two models in it.
#include "viewer.h"

#include <GL/glut.h>

#include "gl_view.h"
#include "outlines.h"
#include "view_setup.h"

Shape shape = nullptr;
Shape shape2 = nullptr;

int Vx_min = kViewXMin;
int Vx_max = kViewXMax;
int Vy_min = kViewYMin;
int Vy_max = kViewYMax;

void init() { glClearColor(0.0f, 0.0f, 0.0f, 0.0f); }

void reshape(int width, int height) {
    glViewport(0, 0, width, height);
    setViewProjection();
}

void display() {
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(0.0f, 1.0f, 0.0f);
    placeViewCamera();
    drawModels();
    glFlush();
}

void mouse(int, int, int, int) {}

void drawModels() {
    const unsigned kSecondModelPauseSeconds = 3;
    drawOutlines(shape, 0.0f, 1.0f, 0.0f, kFlushEachTriangle, 0);
    drawOutlines(shape2, 1.0f, 0.0f, 0.0f, kFlushEachTriangle, kSecondModelPauseSeconds);
}
