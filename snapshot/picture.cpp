#include "picture.h"

#include <GL/gl.h>

#include <algorithm>

#include "frame.h"
#include "gl_view.h"

namespace {

// About 2^22 / size triangles a slice: their lines, across the picture,
// touch a bounded number of the rasterizer's tiles, some tens of megabytes
// whatever the size.
long sliceTriangles(int size) { return std::max(64L, (1L << 22) / size); }

}  // namespace

void drawPicture(int size, Shape first, Shape second) {
    // The viewer's init and reshape, for a square window of this size.
    glViewport(0, 0, size, size);
    setViewProjection();
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    drawFrame(first, second, {sliceTriangles(size), Flush::kFinish, 0});
}
