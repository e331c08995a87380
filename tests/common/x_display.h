// Helpers for testing the viewer as a real process on a virtual X server:
// starting Xvfb, finding the viewer's window and reading its pixels back
// from a screenshot.
#ifndef TESTS_COMMON_X_DISPLAY_H
#define TESTS_COMMON_X_DISPLAY_H

#include <sys/types.h>

#include <string>
#include <vector>

#include "process.h"

// A private Xvfb server; its display name is ":<number>".
struct VirtualDisplay {
    pid_t pid = -1;
    std::string name;
};

// Starts Xvfb on a free display number. Fails the current test (and returns
// a display with pid -1) when it cannot.
VirtualDisplay startVirtualDisplay();
void stopVirtualDisplay(VirtualDisplay &display);

// Where xwininfo puts a top-level window, by its title.
struct WindowInfo {
    std::string id;  // X window id, such as 0x200002; empty when not found
    int x = 0, y = 0, width = 0, height = 0;
};
// Polls for up to `seconds` until a window with this exact title exists.
WindowInfo waitForWindow(const std::string &display, const std::string &title, double seconds);

// The window's pixels as rows of RGB bytes, from xwd and xwdtopnm.
struct Screenshot {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;  // 3 bytes per pixel, row after row
};
Screenshot takeScreenshot(const std::string &display, const std::string &windowId);
// A PNG file's pixels, through pngtopnm; empty when it cannot be read.
Screenshot readPng(const std::string &path);
// A binary PPM's pixels; empty when it is not one of 8-bit samples.
Screenshot parsePpm(const std::string &ppm);

struct ColourCounts {
    int green = 0;  // pure-ish green: the first model's lines
    int red = 0;    // pure-ish red: the second model's lines
    int other = 0;  // anything neither black, green nor red
};
ColourCounts countColours(const Screenshot &shot);

// Polls screenshots for up to `seconds` until `wanted` holds for the counts;
// returns the last counts seen.
template <typename Predicate>
ColourCounts waitForColours(const std::string &display, const std::string &windowId, double seconds, Predicate wanted);

template <typename Predicate>
ColourCounts waitForColours(const std::string &display, const std::string &windowId, double seconds, Predicate wanted) {
    double deadline = secondsNow() + seconds;
    ColourCounts counts = countColours(takeScreenshot(display, windowId));
    while (!wanted(counts) && secondsNow() < deadline) {
        sleepSeconds(0.2);
        counts = countColours(takeScreenshot(display, windowId));
    }
    return counts;
}

#endif
