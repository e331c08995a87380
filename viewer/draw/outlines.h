// Drawing a shape as the viewer shows it: a wireframe in which every
// triangle is its own closed line strip, flushed at once so that it reaches
// a single-buffered window before the next one is begun. Needs only GL.
#ifndef VIEWER_DRAW_OUTLINES_H
#define VIEWER_DRAW_OUTLINES_H

#include "shape.h"

// Draws the outline of each triangle of `model` in the colour (red, green,
// blue), in the current GL context with its matrices as they are, flushing
// after each triangle and then sleeping `pauseSeconds` (after the last one
// too). A null model draws nothing and changes nothing, not even the colour.
// The count is asked again before every triangle; a count of zero or below
// draws nothing. Every vertex number must name a vertex of the model, as
// the reader makes sure.
void drawOutlines(Shape model, float red, float green, float blue, unsigned pauseSeconds);

#endif
