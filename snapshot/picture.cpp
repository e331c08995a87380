#include "picture.h"

#include <GL/gl.h>

#include <algorithm>

#include "gl_view.h"
#include "outlines.h"

namespace {

// About 2^22 / size triangles a slice: their lines, across the picture,
// touch a bounded number of the rasterizer's tiles, some tens of megabytes
// whatever the size.
long sliceTriangles(int size) { return std::max(64L, (1L << 22) / size); }

// The model's outlines, a slice of its triangles at a time; the same
// lines in the same order as one call of drawOutlines.
void drawInSlices(Shape model, float red, float green, float blue, long slice) {
    if (model == nullptr) return;
    long triangles = numTriangles(model);
    for (long start = 0; start < triangles; start += slice) {
        Shape_Typ part = *model;
        part.tTable = model->tTable + 3 * start;
        part.numTris = static_cast<int>(std::min(slice, triangles - start));
        drawOutlines(&part, red, green, blue, kFlushAtTheEnd, 0);
        glFinish();
    }
}

}  // namespace

void drawPicture(int size, Shape first, Shape second) {
    glViewport(0, 0, size, size);
    setViewProjection();
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(0.0f, 1.0f, 0.0f);
    placeViewCamera();
    drawInSlices(first, 0.0f, 1.0f, 0.0f, sliceTriangles(size));
    drawInSlices(second, 1.0f, 0.0f, 0.0f, sliceTriangles(size));
}
