// Drawing a shape as the viewer shows it: a wireframe in which every
// triangle is its own closed line strip. Needs only GL.
#ifndef DRAW_OUTLINES_H
#define DRAW_OUTLINES_H

#include "shape.h"

// How the outlines reach the picture: a window shows each one as soon as it
// is flushed, so that it is there before the next is begun; a picture read
// back only at the end need not wait for each.
enum OutlineFlush { kFlushEachTriangle, kFlushAtTheEnd };

// Draws the outline of each triangle of `model` in the colour (red, green,
// blue), in the current GL context with its matrices as they are. With
// kFlushEachTriangle it flushes after each triangle and then sleeps
// `pauseSeconds` (after the last one too); with kFlushAtTheEnd it leaves the
// flush to the caller and does not pause. A null model draws nothing and
// changes nothing, not even the colour. The count is asked again before
// every triangle; a count of zero or below draws nothing. Every vertex
// number must name a vertex of the model, as the reader makes sure.
void drawOutlines(Shape model, float red, float green, float blue, OutlineFlush flush, unsigned pauseSeconds);

#endif
