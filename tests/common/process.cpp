#include "process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "whole_file.h"

extern char **environ;

namespace {

// The environment of this process, with DISPLAY replaced when `display` is
// not empty.
std::vector<std::string> environmentWithDisplay(const std::string &display) {
    std::vector<std::string> env;
    for (char **entry = environ; *entry != nullptr; entry++) {
        if (display.empty() || std::strncmp(*entry, "DISPLAY=", 8) != 0) env.emplace_back(*entry);
    }
    if (!display.empty()) env.push_back("DISPLAY=" + display);
    return env;
}

int statusOf(int waitStatus) {
    if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
    return -1;
}

}  // namespace

std::vector<char *> argvPointers(std::vector<std::string> &args) {
    std::vector<char *> pointers;
    for (std::string &arg : args) pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    return pointers;
}

double secondsNow() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void sleepSeconds(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

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
    int failed = posix_spawnp(&process.pid, args[0].c_str(), &actions, nullptr, argPointers.data(), envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        std::fprintf(stderr, "cannot start %s: %s\n", args[0].c_str(), std::strerror(failed));
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
    std::string full = display.empty() ? command : "DISPLAY=" + display + " " + command;
    std::FILE *pipe = popen(full.c_str(), "r");
    if (pipe == nullptr) return "";
    std::string output;
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, got);
    pclose(pipe);
    return output;
}

Finished runToEnd(const std::vector<std::string> &argv, const std::string &scratchDir, double seconds) {
    RunningProcess process = startProcess(argv, "", scratchDir);
    Finished finished;
    if (waitForExit(process, seconds))
        finished.status = process.exitStatus;
    else
        stopProcess(process);
    finished.out = readWholeFile(process.outPath);
    finished.err = readWholeFile(process.errPath);
    std::remove(process.outPath.c_str());
    std::remove(process.errPath.c_str());
    return finished;
}
