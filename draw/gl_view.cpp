#include "gl_view.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "view_setup.h"

void setViewProjection() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(kFieldOfViewDegrees, kAspect, kNear, kFar);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void placeViewCamera() {
    glLoadIdentity();
    gluLookAt(kEyeX, kEyeY, kEyeZ, kTargetX, kTargetY, kTargetZ, kUpX, kUpY, kUpZ);
    glScalef(1.0f, kModelYScale, 1.0f);
}
