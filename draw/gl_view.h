// The viewer's fixed view, set up in GL: for the viewer's window and for
// any other program that draws the same picture.
#ifndef DRAW_GL_VIEW_H
#define DRAW_GL_VIEW_H

// Loads the projection of view_setup.h (90-degree perspective, aspect 1,
// near 1, far 1000) into the projection matrix, then selects the
// model-view matrix and loads the identity. Needs a current GL context.
void setViewProjection();

// Loads the camera of view_setup.h into the model-view matrix: the
// identity, then the eye looking at its target, then the model's stretch
// along y. Needs a current GL context with the model-view matrix selected.
void placeViewCamera();

#endif
