// Drawing the two models as wireframes: every triangle is its own closed
// line strip, flushed at once so that it reaches the single-buffered window
// before the next one is begun.
#include <unistd.h>

#include <GL/gl.h>

#include <initializer_list>

#include "viewer.h"

namespace {

const unsigned kSecondModelPauseSeconds = 3;

// Draws one model slot in the given colour, sleeping pauseSeconds after each
// triangle (the last one included). A null slot draws nothing and changes
// nothing. The count is asked again before every triangle; a count of zero
// or below draws nothing.
void drawModel(Shape model, GLfloat red, GLfloat green, GLfloat blue, unsigned pauseSeconds) {
    if (model == nullptr) return;
    glColor3f(red, green, blue);
    for (int j = 0; j < numTriangles(model); j++) {
        const int *corners = model->tTable + 3 * static_cast<long>(j);
        glBegin(GL_LINE_STRIP);
        // The three corners, then the first again to close the outline.
        for (int corner : {corners[0], corners[1], corners[2], corners[0]}) {
            const float *vertex = model->vTable + 3 * static_cast<long>(corner);
            glVertex3f(vertex[0], vertex[1], vertex[2]);
        }
        glEnd();
        glFlush();
        if (pauseSeconds > 0) sleep(pauseSeconds);
    }
}

}  // namespace

void drawModels() {
    drawModel(shape, 0.0f, 1.0f, 0.0f, 0);
    drawModel(shape2, 1.0f, 0.0f, 0.0f, kSecondModelPauseSeconds);
}
