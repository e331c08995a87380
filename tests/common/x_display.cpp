#include "x_display.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <thread>

#include "test_files.h"

VirtualDisplay startVirtualDisplay() {
    VirtualDisplay display;
    static ScratchDir scratch;  // Xvfb's output files, for every display of this run
    // -noreset: by default the server resets whenever its last client leaves,
    // and a viewer connecting while xwininfo's poll has just left would be
    // turned away. -displayfd 1: the display number goes to standard output
    // once the server accepts clients.
    RunningProcess server = startProcess(
        {"Xvfb", "-displayfd", "1", "-screen", "0", "800x700x24", "-nolisten", "tcp", "-noreset"}, "", scratch.root);
    display.pid = server.pid;
    if (display.pid <= 0) {
        ADD_FAILURE() << "cannot start Xvfb";
        return display;
    }
    std::string number;
    for (double deadline = secondsNow() + 20; secondsNow() < deadline; sleepSeconds(0.05)) {
        number = readWholeFile(server.outPath);
        if (!number.empty() && number.back() == '\n') break;
    }
    while (!number.empty() && number.back() == '\n') number.pop_back();
    if (number.empty()) {
        ADD_FAILURE() << "Xvfb did not start: " << readWholeFile(server.errPath);
        stopVirtualDisplay(display);
        return display;
    }
    display.name = ":" + number;
    return display;
}

void stopVirtualDisplay(VirtualDisplay &display) {
    if (display.pid <= 0) return;
    kill(display.pid, SIGTERM);
    waitpid(display.pid, nullptr, 0);
    display.pid = -1;
}

WindowInfo waitForWindow(const std::string &display, const std::string &title, double seconds) {
    double deadline = secondsNow() + seconds;
    for (;;) {
        std::string info = commandOutput("xwininfo -name '" + title + "' 2>/dev/null", display);
        WindowInfo window;
        std::istringstream lines(info);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.rfind("xwininfo: Window id: ", 0) == 0) {
                std::istringstream words(line.substr(21));
                words >> window.id;
            }
            std::sscanf(line.c_str(), "  Absolute upper-left X: %d", &window.x);
            std::sscanf(line.c_str(), "  Absolute upper-left Y: %d", &window.y);
            std::sscanf(line.c_str(), "  Width: %d", &window.width);
            std::sscanf(line.c_str(), "  Height: %d", &window.height);
        }
        if (!window.id.empty() || secondsNow() >= deadline) return window;
        sleepSeconds(0.1);
    }
}

Screenshot takeScreenshot(const std::string &display, const std::string &windowId) {
    return parsePpm(commandOutput("xwd -silent -id " + windowId + " 2>/dev/null | xwdtopnm 2>/dev/null", display));
}

Screenshot readPng(const std::string &path) {
    return parsePpm(commandOutput("pngtopnm '" + path + "' 2>/dev/null", ""));
}

Screenshot parsePpm(const std::string &ppm) {
    Screenshot shot;
    // A binary PPM: "P6", width, height, maximum value, one whitespace byte, pixels.
    std::istringstream header(ppm);
    std::string magic;
    int maxValue = 0;
    header >> magic >> shot.width >> shot.height >> maxValue;
    std::size_t pixelsAt = static_cast<std::size_t>(header.tellg()) + 1;
    std::size_t size = 3 * static_cast<std::size_t>(shot.width) * static_cast<std::size_t>(shot.height);
    if (magic != "P6" || maxValue != 255 || header.fail() || ppm.size() < pixelsAt + size) {
        shot.width = shot.height = 0;
        return shot;
    }
    shot.rgb.assign(ppm.begin() + static_cast<long>(pixelsAt), ppm.begin() + static_cast<long>(pixelsAt + size));
    return shot;
}

ColourCounts countColours(const Screenshot &shot) {
    ColourCounts counts;
    for (std::size_t i = 0; i + 2 < shot.rgb.size(); i += 3) {
        int r = shot.rgb[i], g = shot.rgb[i + 1], b = shot.rgb[i + 2];
        if (r < 32 && g < 32 && b < 32) continue;
        if (g > 160 && r < 96 && b < 96)
            counts.green++;
        else if (r > 160 && g < 96 && b < 96)
            counts.red++;
        else
            counts.other++;
    }
    return counts;
}
