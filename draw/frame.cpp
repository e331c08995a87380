#include "frame.h"

#include <GL/gl.h>

#include "gl_view.h"

void drawFrame(Shape first, Shape second, const FramePacing &pacing) {
    glClear(GL_COLOR_BUFFER_BIT);
    // The frame's own colour, before the models set theirs.
    glColor3f(0.0f, 1.0f, 0.0f);
    placeViewCamera();
    drawOutlines(first, 0.0f, 1.0f, 0.0f, {pacing.trianglesPerFlush, pacing.flush, 0});
    drawOutlines(second, 1.0f, 0.0f, 0.0f, {pacing.trianglesPerFlush, pacing.flush, pacing.secondModelPauseSeconds});
    glFlush();
}
