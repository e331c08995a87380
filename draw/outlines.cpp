#include "outlines.h"

#include <GL/gl.h>
#include <unistd.h>

#include <initializer_list>

void drawOutlines(Shape model, float red, float green, float blue, const OutlinePacing &pacing) {
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
        bool due =
            pacing.trianglesPerFlush > 0 && ((j + 1) % pacing.trianglesPerFlush == 0 || j + 1 >= numTriangles(model));
        if (!due) continue;
        if (pacing.flush == Flush::kShow) glFlush();
        if (pacing.flush == Flush::kFinish) glFinish();
        if (pacing.pauseSeconds > 0) sleep(pacing.pauseSeconds);
    }
}
