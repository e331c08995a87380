// Running programs from tests: start one with its output going to files,
// wait for it with a time limit, stop it, or run it to the end.
#ifndef TESTS_COMMON_PROCESS_H
#define TESTS_COMMON_PROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

// A child process whose standard output and standard error go to files.
struct RunningProcess {
    pid_t pid = -1;
    std::string outPath;
    std::string errPath;
    int exitStatus = -1;  // set by waitForExit once the process has ended
};

// Starts argv[0] (a path, or a name looked up in PATH) with the given
// arguments; its output goes to files in `scratchDir`. With a non-empty
// `display`, DISPLAY is set to it. When it cannot be started, says so on
// standard error and returns a process with pid -1.
RunningProcess startProcess(const std::vector<std::string> &argv, const std::string &display,
                            const std::string &scratchDir);
// True when the process ended within `seconds`; its exit status (or 128 +
// signal) is then in exitStatus.
bool waitForExit(RunningProcess &process, double seconds);
// Ends the process (if still running) and reaps it.
void stopProcess(RunningProcess &process);

// A program run to its end (stopped after `seconds`), with all it wrote.
struct Finished {
    int status = -1;  // exit status, 128 + signal, or -1 when it had to be stopped
    std::string out;
    std::string err;
};
Finished runToEnd(const std::vector<std::string> &argv, const std::string &scratchDir, double seconds = 60);

// The output of a shell command, with DISPLAY set when `display` is not empty.
std::string commandOutput(const std::string &command, const std::string &display);

// Pointers to the strings of `args`, null-terminated, as exec wants them.
std::vector<char *> argvPointers(std::vector<std::string> &args);

void sleepSeconds(double seconds);
double secondsNow();

#endif
