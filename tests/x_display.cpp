#include "x_display.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <thread>

extern char **environ;

namespace {

std::vector<char *> argvPointers(std::vector<std::string> &args) {
    std::vector<char *> pointers;
    for (std::string &arg : args) pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    return pointers;
}

// The environment of this process with DISPLAY replaced.
std::vector<std::string> environmentWithDisplay(const std::string &display) {
    std::vector<std::string> env;
    for (char **entry = environ; *entry != nullptr; entry++) {
        if (std::strncmp(*entry, "DISPLAY=", 8) != 0) env.emplace_back(*entry);
    }
    env.push_back("DISPLAY=" + display);
    return env;
}

int statusOf(int waitStatus) {
    if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
    return -1;
}

}  // namespace

double secondsNow() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void sleepSeconds(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

VirtualDisplay startVirtualDisplay() {
    VirtualDisplay display;
    int ready[2];
    if (pipe(ready) != 0) {
        ADD_FAILURE() << "pipe failed";
        return display;
    }
    // -noreset: by default the server resets whenever its last client leaves,
    // and a viewer connecting while xwininfo's poll has just left would be
    // turned away.
    std::vector<std::string> args = {"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0",
                                      "800x700x24", "-nolisten", "tcp", "-noreset"};
    std::vector<char *> argv = argvPointers(args);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, ready[0]);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    int failed = posix_spawnp(&display.pid, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ready[1]);
    if (failed != 0) {
        ADD_FAILURE() << "cannot start Xvfb: " << std::strerror(failed);
        display.pid = -1;
        close(ready[0]);
        return display;
    }
    // Xvfb writes its display number to the pipe once it accepts clients.
    std::string number;
    char c;
    while (read(ready[0], &c, 1) == 1 && c != '\n') number += c;
    close(ready[0]);
    if (number.empty()) {
        ADD_FAILURE() << "Xvfb did not start";
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

RunningProcess startProcess(const std::vector<std::string> &argv, const std::string &display,
                            const std::string &scratchDir) {
    static int counter = 0;
    RunningProcess process;
    std::string stem = scratchDir + "/process" + std::to_string(counter++);
    process.outPath = stem + ".out";
    process.errPath = stem + ".err";
    std::vector<std::string> args = argv;
    std::vector<char *> argPointers = argvPointers(args);
    std::vector<std::string> env = environmentWithDisplay(display);
    std::vector<char *> envPointers = argvPointers(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, process.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, process.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int failed = posix_spawn(&process.pid, args[0].c_str(), &actions, nullptr, argPointers.data(),
                             envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        ADD_FAILURE() << "cannot start " << args[0] << ": " << std::strerror(failed);
        process.pid = -1;
    }
    return process;
}

bool waitForExit(RunningProcess &process, double seconds) {
    if (process.pid <= 0) return process.exitStatus >= 0;
    double deadline = secondsNow() + seconds;
    for (;;) {
        int status = 0;
        pid_t done = waitpid(process.pid, &status, WNOHANG);
        if (done == process.pid) {
            process.exitStatus = statusOf(status);
            process.pid = -1;
            return true;
        }
        if (secondsNow() >= deadline) return false;
        sleepSeconds(0.02);
    }
}

void stopProcess(RunningProcess &process) {
    if (process.pid <= 0) return;
    kill(process.pid, SIGTERM);
    if (!waitForExit(process, 5)) {
        kill(process.pid, SIGKILL);
        waitForExit(process, 5);
    }
}

std::string commandOutput(const std::string &command, const std::string &display) {
    std::string full = "DISPLAY=" + display + " " + command;
    std::FILE *pipe = popen(full.c_str(), "r");
    if (pipe == nullptr) return "";
    std::string output;
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, got);
    pclose(pipe);
    return output;
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
    Screenshot shot;
    std::string ppm = commandOutput("xwd -silent -id " + windowId + " 2>/dev/null | xwdtopnm 2>/dev/null", display);
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
        if (g > 160 && r < 96 && b < 96) counts.green++;
        else if (r > 160 && g < 96 && b < 96) counts.red++;
        else counts.other++;
    }
    return counts;
}
