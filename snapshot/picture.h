// The viewer's frame drawn into the current offscreen picture.
#ifndef SNAPSHOT_PICTURE_H
#define SNAPSHOT_PICTURE_H

#include "shape.h"

// Draws what the viewer's display shows into the current GL context's
// size x size picture: the black background, the viewer's projection, and
// the viewer's own frame (drawFrame: the camera, the first model's outlines
// in green and the second's in red over them; either may be null), without
// its pauses. The lines go in slices of a few thousand triangles, each
// finished before the next is begun: the rasterizer keeps every line handed
// to it until it is drawn, which for a large model held gigabytes, while
// the viewer, flushing each triangle, never held more than one. The pixels
// are those of one pass.
void drawPicture(int size, Shape first, Shape second);

#endif
