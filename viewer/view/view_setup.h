// The viewer's fixed view, in one place: the window's bounds, the camera and
// the projection. The viewer sets up GL from these, and the tools that work
// out what it will show (the converter's --fit) compute with the same ones.
#ifndef VIEWER_VIEW_SETUP_H
#define VIEWER_VIEW_SETUP_H

// The window: 500 x 500 pixels at (100, 100) on the screen.
const int kViewXMin = 0, kViewXMax = 500, kViewYMin = 0, kViewYMax = 500;
const int kWindowX = 100, kWindowY = 100;

// The camera, as gluLookAt takes it: the eye, the point looked at, the up
// direction; in model units.
const double kEyeX = 5, kEyeY = 10, kEyeZ = 5;
const double kTargetX = 0, kTargetY = 0, kTargetZ = 2;
const double kUpX = 0, kUpY = 1, kUpZ = 0;

// The model is stretched along y by this factor before the camera sees it.
const float kModelYScale = 2;

// The projection, as gluPerspective takes it: vertical field of view in
// degrees, aspect ratio, near and far clipping distances.
const double kFieldOfViewDegrees = 90, kAspect = 1, kNear = 1, kFar = 1000;

#endif
