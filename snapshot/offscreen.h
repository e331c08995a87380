// Drawing without a window or an X server: an OpenGL context on Mesa's
// surfaceless EGL platform, rendering into a square pbuffer of 8-bit red,
// green and blue, without multisampling, as a 24-bit X window has them.
#ifndef SNAPSHOT_OFFSCREEN_H
#define SNAPSHOT_OFFSCREEN_H

#include <EGL/egl.h>

#include <string>
#include <vector>

struct Offscreen {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLSurface surface = EGL_NO_SURFACE;
    EGLContext context = EGL_NO_CONTEXT;
    int size = 0;  // the pbuffer is size x size pixels
};

// Makes a size x size offscreen picture and makes its context current on the
// calling thread, for the legacy (compatibility) OpenGL the viewer draws
// with.
//   Returns true with *offscreen filled; false, with the reason in *reason
//   and nothing left open, when there is no EGL, no surfaceless platform,
//   no such configuration, or the size is too large.
bool openOffscreen(int size, Offscreen *offscreen, std::string *reason);

// The picture as rows of RGB bytes, the top row first (as image files have
// it, unlike GL), after everything drawn has finished.
std::vector<unsigned char> readPicture(const Offscreen &offscreen);

// Releases the context, the pbuffer and the display.
void closeOffscreen(Offscreen *offscreen);

#endif
