// The viewer's process-wide state and its window callbacks.
//
// Everything here runs on the one thread of the GLUT event loop. The model
// slots are written by main before the loop starts and only read afterwards.
#ifndef VIEWER_VIEWER_H
#define VIEWER_VIEWER_H

#include "shape.h"
#include "view_setup.h"

// The two models, owned by the viewer for the whole run and never released.
// Null when the file was not given or failed to load.
extern Shape shape;   // first file argument, drawn in green at once
extern Shape shape2;  // second file argument, drawn in red a triangle at a time

// The view bounds, Vx_min, Vx_max, Vy_min and Vy_max, are the view's
// (view_setup.h): the window's 500 x 500 size.

// Sets the clear colour to black. Called once by main, before the callbacks
// are installed.
void init();

// Display callback: draws the whole frame (drawFrame): clears the window,
// places the camera, draws the first model in green and the second in red,
// flushing each triangle's outline, and flushes. Holds up the event loop
// for 3 seconds after each triangle of the second model.
void display();

// Reshape callback: the viewport covers the whole window, and the projection
// is a 90-degree perspective of fixed aspect 1.0, so a non-square window
// stretches the picture. Leaves the model-view matrix selected.
void reshape(int width, int height);

// Mouse callback: button events are received and ignored.
void mouse(int button, int state, int x, int y);

#endif
