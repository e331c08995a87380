// The viewer's whole picture, drawn once for every program that shows it:
// the window's display callback and bsv2-snapshot's offscreen picture.
#ifndef DRAW_FRAME_H
#define DRAW_FRAME_H

#include "outlines.h"
#include "shape.h"

// When a frame's outlines are pushed out, and the pause after each push of
// the second model's.
struct FramePacing {
    long trianglesPerFlush;  // as OutlinePacing's, for both models
    Flush flush;
    unsigned secondModelPauseSeconds;
};

// Draws one frame: clears the colour buffer, sets the colour green, places
// the camera (placeViewCamera), draws the first model's outlines in green
// and then the second model's in red over them (drawOutlines, paced by
// `pacing`, the first without pauses), and flushes.
//   Takes:   the two models, either of them null (then nothing is drawn
//            for it, not even its colour set); neither is changed or kept.
//            Every vertex number must name a vertex of its model, as the
//            reader makes sure.
//   Needs:   a current GL context with the projection set
//            (setViewProjection) and the model-view matrix selected; the
//            clear colour is the caller's.
void drawFrame(Shape first, Shape second, const FramePacing &pacing);

#endif
