#include "offscreen.h"

#include <EGL/eglext.h>
#include <GL/gl.h>

#include <algorithm>
#include <cstdio>

namespace {

std::string eglFailure(const std::string &step) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%04X", eglGetError());
    return step + " failed (EGL error " + code + ")";
}

EGLint attribute(EGLDisplay display, EGLConfig config, EGLint name) {
    EGLint value = -1;
    eglGetConfigAttrib(display, config, name, &value);
    return value;
}

// The configuration a 24-bit X window would have: eglChooseConfig puts the
// deepest colour first (10 bits on Mesa), whose lines are rasterized
// differently, so the match is made here. Among those, the one with the
// fewest extras: no alpha, depth or stencil, which nothing here uses.
bool chooseConfig(EGLDisplay display, EGLConfig *chosen) {
    const EGLint wanted[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLint count = 0;
    if (!eglChooseConfig(display, wanted, nullptr, 0, &count) || count == 0) return false;
    std::vector<EGLConfig> configs(static_cast<std::size_t>(count));
    eglChooseConfig(display, wanted, configs.data(), count, &count);
    int bestExtras = -1;
    for (EGLConfig config : configs) {
        if (attribute(display, config, EGL_RED_SIZE) != 8 || attribute(display, config, EGL_GREEN_SIZE) != 8 ||
            attribute(display, config, EGL_BLUE_SIZE) != 8 || attribute(display, config, EGL_SAMPLES) != 0 ||
            attribute(display, config, EGL_COLOR_BUFFER_TYPE) != EGL_RGB_BUFFER)
            continue;
        int extras = attribute(display, config, EGL_ALPHA_SIZE) + attribute(display, config, EGL_DEPTH_SIZE) +
                     attribute(display, config, EGL_STENCIL_SIZE);
        if (bestExtras < 0 || extras < bestExtras) {
            bestExtras = extras;
            *chosen = config;
        }
    }
    return bestExtras >= 0;
}

}  // namespace

bool openOffscreen(int size, Offscreen *offscreen, std::string *reason) {
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay == nullptr) {
        *reason = "this EGL has no platform displays (EGL_EXT_platform_base)";
        return false;
    }
    Offscreen made;
    made.size = size;
    made.display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (made.display == EGL_NO_DISPLAY || !eglInitialize(made.display, nullptr, nullptr)) {
        *reason = eglFailure("opening Mesa's surfaceless EGL display");
        return false;
    }
    EGLConfig config = nullptr;
    const EGLint surfaceSize[] = {EGL_WIDTH, size, EGL_HEIGHT, size, EGL_NONE};
    if (!eglBindAPI(EGL_OPENGL_API)) {
        *reason = eglFailure("choosing OpenGL");
    } else if (!chooseConfig(made.display, &config)) {
        *reason = "EGL offers no 8-bit RGB pbuffer configuration for OpenGL";
    } else if ((made.surface = eglCreatePbufferSurface(made.display, config, surfaceSize)) == EGL_NO_SURFACE) {
        *reason = eglFailure("making a " + std::to_string(size) + " x " + std::to_string(size) + " pbuffer");
    } else if ((made.context = eglCreateContext(made.display, config, EGL_NO_CONTEXT, nullptr)) == EGL_NO_CONTEXT) {
        *reason = eglFailure("making an OpenGL context");
    } else if (!eglMakeCurrent(made.display, made.surface, made.surface, made.context)) {
        *reason = eglFailure("making the context current");
    } else {
        *offscreen = made;
        return true;
    }
    closeOffscreen(&made);
    return false;
}

std::vector<unsigned char> readPicture(const Offscreen &offscreen) {
    std::size_t row = 3 * static_cast<std::size_t>(offscreen.size);
    std::vector<unsigned char> bottomUp(row * static_cast<std::size_t>(offscreen.size));
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, offscreen.size, offscreen.size, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    std::vector<unsigned char> topDown(bottomUp.size());
    for (int y = 0; y < offscreen.size; y++)
        std::copy_n(bottomUp.begin() + static_cast<long>(row * static_cast<std::size_t>(offscreen.size - 1 - y)), row,
                    topDown.begin() + static_cast<long>(row * static_cast<std::size_t>(y)));
    return topDown;
}

void closeOffscreen(Offscreen *offscreen) {
    if (offscreen->display == EGL_NO_DISPLAY) return;
    eglMakeCurrent(offscreen->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (offscreen->context != EGL_NO_CONTEXT) eglDestroyContext(offscreen->display, offscreen->context);
    if (offscreen->surface != EGL_NO_SURFACE) eglDestroySurface(offscreen->display, offscreen->surface);
    eglTerminate(offscreen->display);
    *offscreen = Offscreen();
}
