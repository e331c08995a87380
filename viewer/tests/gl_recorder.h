// A recording stand-in for the GL, GLU and GLUT functions and for sleep(),
// linked into a test in place of the real libraries, so that a test can
// see the calls the viewer makes.
#ifndef VIEWER_TESTS_GL_RECORDER_H
#define VIEWER_TESTS_GL_RECORDER_H

#include <string>
#include <vector>

// Every call so far, one entry each, written like "glVertex3f(1, 2, 3)".
// Enumerations appear by name (GL_LINE_STRIP), callbacks by the viewer
// function they are (display).
std::vector<std::string> &recordedCalls();

#endif
