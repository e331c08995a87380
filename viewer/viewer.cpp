// The viewer's window set-up: background, projection, camera and the frame
// that display draws the models in.
#include "viewer.h"

#include "view_setup.h"

#include <GL/glut.h>

Shape shape = nullptr;
Shape shape2 = nullptr;

int Vx_min = kViewXMin;
int Vx_max = kViewXMax;
int Vy_min = kViewYMin;
int Vy_max = kViewYMax;

void init() { glClearColor(0.0f, 0.0f, 0.0f, 0.0f); }

void reshape(int width, int height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(kFieldOfViewDegrees, kAspect, kNear, kFar);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void display() {
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(0.0f, 1.0f, 0.0f);
    glLoadIdentity();
    gluLookAt(kEyeX, kEyeY, kEyeZ, kTargetX, kTargetY, kTargetZ, kUpX, kUpY, kUpZ);
    glScalef(1.0f, kModelYScale, 1.0f);
    drawModels();
    glFlush();
}

void mouse(int, int, int, int) {}
