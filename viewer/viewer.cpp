// The viewer's window set-up: background, projection, camera and the frame
// that display draws the models in.
#include "viewer.h"

#include <GL/glut.h>

Shape shape = nullptr;
Shape shape2 = nullptr;

int Vx_min = 0;
int Vx_max = 500;
int Vy_min = 0;
int Vy_max = 500;

void init() { glClearColor(0.0f, 0.0f, 0.0f, 0.0f); }

void reshape(int width, int height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90.0, 1.0, 1.0, 1000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void display() {
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(0.0f, 1.0f, 0.0f);
    glLoadIdentity();
    gluLookAt(5.0, 10.0, 5.0, 0.0, 0.0, 2.0, 0.0, 1.0, 0.0);
    glScalef(1.0f, 2.0f, 1.0f);
    drawModels();
    glFlush();
}

void mouse(int, int, int, int) {}
