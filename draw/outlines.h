// Drawing a shape as the viewer shows it: a wireframe in which every
// triangle is its own closed line strip. Needs only GL.
#ifndef DRAW_OUTLINES_H
#define DRAW_OUTLINES_H

#include "shape.h"

// How outlines are pushed out of GL's queue.
enum class Flush {
    kShow,    // glFlush: a window shows what has been flushed at once
    kFinish,  // glFinish: drawn before the next is begun, so that the rasterizer holds only what came since
};

// When outlines are pushed out, and how long to wait after each push.
struct OutlinePacing {
    long trianglesPerFlush;  // after every this many triangles and after the last; 0: never (the caller does)
    Flush flush;
    unsigned pauseSeconds;  // slept after each flush
};

// Draws the outline of each triangle of `model` in the colour (red, green,
// blue), in the current GL context with its matrices as they are, flushing
// and pausing as `pacing` says. A null model draws nothing and changes
// nothing, not even the colour. The count is asked again before every
// triangle; a count of zero or below draws nothing. Every vertex number
// must name a vertex of the model, as the reader makes sure.
void drawOutlines(Shape model, float red, float green, float blue, const OutlinePacing &pacing);

#endif
