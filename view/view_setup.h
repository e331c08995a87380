// The viewer's fixed view, in one place: the window's bounds, the camera and
// the projection. The viewer sets up GL from these, and the tools that work
// out what it will show (the converter's --fit) compute with the same ones.
#ifndef VIEW_VIEW_SETUP_H
#define VIEW_VIEW_SETUP_H

// The view's bounds, fixed at build time, which give the window its size:
// (Vx_max - Vx_min) x (Vy_max - Vy_min), 500 x 500 pixels. One definition
// for the whole program (inline), as the viewer's process-wide bounds.
inline const int Vx_min = 0, Vx_max = 500, Vy_min = 0, Vy_max = 500;
// Where the window opens on the screen.
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
