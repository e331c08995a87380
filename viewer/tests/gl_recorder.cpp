#include "gl_recorder.h"

#include <GL/glut.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "viewer.h"

std::vector<std::string> &recordedCalls() {
    static std::vector<std::string> calls;
    return calls;
}

namespace {

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string enumName(GLenum value) {
    switch (value) {
        case GL_LINE_STRIP:
            return "GL_LINE_STRIP";
        case GL_PROJECTION:
            return "GL_PROJECTION";
        case GL_MODELVIEW:
            return "GL_MODELVIEW";
        case GL_COLOR_BUFFER_BIT:
            return "GL_COLOR_BUFFER_BIT";
        default:
            return "GLenum(" + std::to_string(value) + ")";
    }
}

void record(const char *name, std::initializer_list<std::string> args = {}) {
    std::string call = std::string(name) + "(";
    const char *separator = "";
    for (const std::string &arg : args) {
        call += separator + arg;
        separator = ", ";
    }
    recordedCalls().push_back(call + ")");
}

template <typename Callback>
std::string callbackName(Callback callback) {
    if (reinterpret_cast<void *>(callback) == reinterpret_cast<void *>(&display)) return "display";
    if (reinterpret_cast<void *>(callback) == reinterpret_cast<void *>(&reshape)) return "reshape";
    if (reinterpret_cast<void *>(callback) == reinterpret_cast<void *>(&mouse)) return "mouse";
    return "unknown";
}

}  // namespace

void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) {
    record("glClearColor", {number(r), number(g), number(b), number(a)});
}
void glClear(GLbitfield mask) { record("glClear", {enumName(mask)}); }
void glColor3f(GLfloat r, GLfloat g, GLfloat b) { record("glColor3f", {number(r), number(g), number(b)}); }
void glBegin(GLenum mode) { record("glBegin", {enumName(mode)}); }
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) { record("glVertex3f", {number(x), number(y), number(z)}); }
void glEnd() { record("glEnd"); }
void glFlush() { record("glFlush"); }
void glFinish() { record("glFinish"); }
void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    record("glViewport", {number(x), number(y), number(width), number(height)});
}
void glMatrixMode(GLenum mode) { record("glMatrixMode", {enumName(mode)}); }
void glLoadIdentity() { record("glLoadIdentity"); }
void glScalef(GLfloat x, GLfloat y, GLfloat z) { record("glScalef", {number(x), number(y), number(z)}); }

void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY, GLdouble centerZ,
               GLdouble upX, GLdouble upY, GLdouble upZ) {
    record("gluLookAt", {number(eyeX), number(eyeY), number(eyeZ), number(centerX), number(centerY), number(centerZ),
                         number(upX), number(upY), number(upZ)});
}
void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    record("gluPerspective", {number(fovy), number(aspect), number(zNear), number(zFar)});
}

// Like the real glutInit, takes out -geometry and its value and lowers the
// count to match.
void glutInit(int *argc, char **argv) {
    std::string call = "glutInit(" + std::to_string(*argc);
    for (int i = 0; i < *argc; i++) call += std::string(", ") + argv[i];
    recordedCalls().push_back(call + ")");
    int kept = 0;
    for (int i = 0; i < *argc; i++) {
        if (std::strcmp(argv[i], "-geometry") == 0 && i + 1 < *argc) {
            i++;
            continue;
        }
        argv[kept++] = argv[i];
    }
    *argc = kept;
}
void glutInitDisplayMode(unsigned int mode) { record("glutInitDisplayMode", {number(mode)}); }
void glutInitWindowSize(int width, int height) { record("glutInitWindowSize", {number(width), number(height)}); }
void glutInitWindowPosition(int x, int y) { record("glutInitWindowPosition", {number(x), number(y)}); }
int glutCreateWindow(const char *title) {
    record("glutCreateWindow", {std::string(title)});
    return 1;
}
void glutDisplayFunc(void (*callback)()) { record("glutDisplayFunc", {callbackName(callback)}); }
void glutReshapeFunc(void (*callback)(int, int)) { record("glutReshapeFunc", {callbackName(callback)}); }
void glutMouseFunc(void (*callback)(int, int, int, int)) { record("glutMouseFunc", {callbackName(callback)}); }
// The real loop never returns; this one returns at once so main can end.
void glutMainLoop() { record("glutMainLoop"); }

extern "C" unsigned int sleep(unsigned int seconds) {
    record("sleep", {number(seconds)});
    return 0;
}
