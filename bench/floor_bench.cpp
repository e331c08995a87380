// The reader against `wc -l` and `cat` on the same file, and the cores free.
#include "floor_bench.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

#include "bench_common.h"
#include "shape.h"

extern char **environ;

namespace {

double threadSeconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Runs `argv` with its output going to /dev/null and returns the seconds it
// took, start to exit.
double timeSpawned(const std::vector<const char *> &argv) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char *> arguments;
    for (const char *argument : argv) arguments.push_back(const_cast<char *>(argument));
    arguments.push_back(nullptr);
    double start = secondsNow();
    pid_t child;
    if (posix_spawnp(&child, arguments[0], &actions, nullptr, arguments.data(), environ) != 0)
        fail("cannot start wc or cat");
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) fail("wc or cat failed");
    double seconds = secondsNow() - start;
    posix_spawn_file_actions_destroy(&actions);
    return seconds;
}

double timeReader(const std::string &path, bool oneThread) {
    bsv2ReadOnOneThread(oneThread);
    double seconds = timeRead(readShapeFromFile, path);
    bsv2ReadOnOneThread(0);
    return seconds;
}

}  // namespace

double measureUsableCores(double seconds) {
    unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::vector<double> busy(cores);
    std::vector<std::thread> spinners;
    double start = secondsNow();
    for (unsigned i = 0; i < cores; i++) {
        spinners.emplace_back([&busy, i, start, seconds] {
            double before = threadSeconds();
            while (secondsNow() - start < seconds) {
            }
            busy[i] = threadSeconds() - before;
        });
    }
    for (std::thread &spinner : spinners) spinner.join();
    double wall = secondsNow() - start;
    double total = 0;
    for (double each : busy) total += each;
    return total / wall;
}

void printAgainstTheFloor(const std::string &path, double megabytes, int runs) {
    // A round untimed, so that every run finds the file in the page cache.
    timeReader(path, true);
    timeSpawned({"cat", path.c_str()});
    double coresBefore = measureUsableCores(0.5);
    const char *names[] = {"reader, one thread", "reader, two threads", "wc -l (spawned)", "cat (spawned)"};
    std::vector<double> times[4];
    for (int i = 0; i < runs; i++) {
        times[0].push_back(timeReader(path, true));
        times[1].push_back(timeReader(path, false));
        times[2].push_back(timeSpawned({"wc", "-l", path.c_str()}));
        times[3].push_back(timeSpawned({"cat", path.c_str()}));
    }
    double coresAfter = measureUsableCores(0.5);
    double wc = median(times[2]);
    std::printf("%-24s %9s %9s %17s %9s\n", "", "median s", "MB/s", "range s", "x wc -l");
    for (int k = 0; k < 4; k++) {
        double middle = median(times[k]);
        auto range = std::minmax_element(times[k].begin(), times[k].end());
        std::printf("%-24s %9.3f %9.1f %8.3f-%-8.3f %9.2f\n", names[k], middle, megabytes / middle, *range.first,
                    *range.second, middle / wc);
    }
    std::printf("two threads over one: %.2fx; cores free (measured): %.1f before, %.1f after, of %u\n",
                median(times[0]) / median(times[1]), coresBefore, coresAfter, std::thread::hardware_concurrency());
}
