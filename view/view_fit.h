// The viewer's fixed view, as plain arithmetic: where its camera puts a
// model point, and how to move and scale a model so that all of it is seen.
#ifndef VIEW_VIEW_FIT_H
#define VIEW_VIEW_FIT_H

#include "shape.h"

// Normalised device coordinates of a model point as the viewer draws it:
// y doubled, camera at (5, 10, 5) looking at (0, 0, 2) with y up, 90-degree
// perspective of aspect 1 from 1 to 1000. The point is in the window and
// between the clipping planes when `visible`; x and y run from -1 (left,
// bottom) to 1 (right, top).
struct ViewedPoint {
    bool visible;
    double x, y, z;
};
ViewedPoint viewPoint(const float point[3]);

// Moves and scales the shape uniformly (the same factor on every axis) so
// that its bounding box is centred where the camera looks, every vertex is
// in view, and the outermost ones reach `fill` (say 0.9) of the way from the
// middle of the window to its edge. A shape whose vertices are all one point
// is only moved.
//   Returns false, changing nothing, when a coordinate is infinite or not a
//   number, or the shape has no vertices.
bool fitIntoView(Shape shape, double fill);

#endif
