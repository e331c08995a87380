#include "import_isolated.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "companion_files.h"
#include "landlock.h"
#include "mesh_wire.h"
#include "progress.h"
#include "sandbox.h"

namespace {

// Exit statuses of the child besides 0 (its result is on the pipe).
const int kChildOutOfMemory = 86;
const int kChildSetupFailed = 87;

int resultFd = -1;  // the child's end of the pipe

[[noreturn]] void outOfMemory() { _exit(kChildOutOfMemory); }

void reportProgress(float share) { sendProgress(resultFd, share); }

// Lets the process read `paths` and nothing else, where the kernel has
// Landlock. A path that cannot be opened gets no rule: the importer then
// fails to open it, and says so.
bool confineReadingTo(const std::vector<std::string> &paths, std::string *reason) {
    if (landlockVersion() == 0) return true;
    std::vector<int> rules;
    for (const std::string &path : paths) {
        int fd = open(path.c_str(), O_PATH | O_CLOEXEC);
        if (fd >= 0) rules.push_back(fd);
    }
    bool confined = confineToReading(rules, reason);
    for (int rule : rules) close(rule);
    return confined;
}

[[noreturn]] void setupFailed(int fd, const std::string &reason) {
    sendFailure(fd, reason);
    _exit(kChildSetupFailed);
}

// Everything the child does; it never returns. Each step narrows what the
// importer can reach, the seccomp filter last, since it forbids the calls
// the earlier steps make.
[[noreturn]] void runChild(const char *path, const ImportLimits &limits, int fd, pid_t parent) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The parent may have died before the line above took effect.
    if (getppid() != parent) _exit(kChildSetupFailed);
    std::string why;
    // What Assimp prints of its own goes nowhere: the reason comes back on
    // the pipe instead.
    if (!keepOnlyDescriptors(fd, &why)) setupFailed(fd, why);
    resultFd = kSandboxResultFd;
    // Assimp catches std::bad_alloc and reports it as an ordinary failure;
    // this makes running out of memory, there or in finding the files the
    // input names, end the child with its own status.
    std::set_new_handler(outOfMemory);
    if (!limitMemory(limits.memoryMiB << 20, &why)) setupFailed(resultFd, why);
    std::vector<std::string> readable = companionFiles(path);
    readable.insert(readable.begin(), path);
    if (!dropPrivileges(&why) || !confineReadingTo(readable, &why) || !enterSandbox(resultFd, &why))
        setupFailed(resultFd, why);
    MeshData mesh;
    bool imported = importMesh(path, &mesh, &why, reportProgress);
    bool sent = imported ? sendMesh(resultFd, mesh) : sendFailure(resultFd, why);
    _exit(sent ? 0 : kChildSetupFailed);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

enum Received { kEnded, kOutOfTime, kOutOfBounds };

// Reads the child's frames until it closes the pipe, time runs out, or what
// it sends can no longer be a result that fits in its memory cap (the reason
// is then in *reason).
Received receiveAll(int fd, std::string *bytes, const ImportLimits &limits, std::chrono::steady_clock::time_point start,
                    std::string *reason) {
    char chunk[64 * 1024];
    for (;;) {
        double left = limits.seconds - secondsSince(start);
        if (left <= 0) return kOutOfTime;
        struct pollfd ready = {fd, POLLIN, 0};
        int polled = poll(&ready, 1, static_cast<int>(std::ceil(std::min(left, 3600.0) * 1000)));
        if (polled < 0 && errno == EINTR) continue;
        if (polled == 0) continue;
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return kEnded;
        bytes->append(chunk, static_cast<std::size_t>(got));
        takeProgressFrames(bytes, setProgressShare);
        if (!finalFrameInBounds(*bytes, limits.memoryMiB << 20, reason)) return kOutOfBounds;
    }
}

// Waits for the child to end, killing it once `seconds` have passed since
// `start`. False when it had to be killed.
bool reap(pid_t child, int *status, double seconds, std::chrono::steady_clock::time_point start) {
    for (;;) {
        pid_t done = waitpid(child, status, WNOHANG);
        if (done == child) return true;
        if (done < 0 && errno != EINTR) return true;
        if (secondsSince(start) >= seconds) {
            kill(child, SIGKILL);
            while (waitpid(child, status, 0) < 0 && errno == EINTR) {
            }
            return false;
        }
        usleep(2000);
    }
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

ImportLimits defaultImportLimits(unsigned long long inputBytes) {
    ImportLimits limits;
    limits.seconds = 10 + std::ceil(static_cast<double>(inputBytes) / 1e6);
    unsigned long long mib = 1024 + (16 * inputBytes >> 20);
    long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        mib = std::min(mib, static_cast<unsigned long long>(pages) * static_cast<unsigned long long>(pageSize) >> 20);
    limits.memoryMiB = mib;
    return limits;
}

Shape importIsolated(const char *path, const ImportLimits &limits, const char *progressLabel, LeftOut *leftOut,
                     std::string *reason) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        *reason = std::string("cannot start the importer: ") + std::strerror(errno);
        return nullptr;
    }
    std::fflush(nullptr);  // nothing buffered may be written twice
    pid_t parent = getpid();
    pid_t child = fork();
    if (child < 0) {
        *reason = std::string("cannot start the importer: ") + std::strerror(errno);
        close(ends[0]);
        close(ends[1]);
        return nullptr;
    }
    if (child == 0) {
        close(ends[0]);
        runChild(path, limits, ends[1], parent);
    }
    close(ends[1]);
    auto start = std::chrono::steady_clock::now();
    startProgress(progressLabel);
    std::string bytes;
    Received received = receiveAll(ends[0], &bytes, limits, start, reason);
    close(ends[0]);
    int status = 0;
    bool intime = reap(child, &status, received == kEnded ? limits.seconds : 0, start) && received == kEnded;
    endProgress();

    if (received == kOutOfBounds) return nullptr;
    if (!intime) {
        *reason = "took longer than " + number(limits.seconds) + " s; use --timeout to allow more";
    } else if (WIFSIGNALED(status)) {
        *reason = WTERMSIG(status) == SIGSYS
                      ? "importer was stopped for a forbidden system call (signal " + std::to_string(SIGSYS) + ")"
                      : "importer crashed (signal " + std::to_string(WTERMSIG(status)) + ")";
    } else if (WEXITSTATUS(status) == kChildOutOfMemory) {
        *reason =
            "needs more than " + std::to_string(limits.memoryMiB) + " MiB of memory; use --max-memory to allow more";
    } else if (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == kChildSetupFailed) {
        Shape shape = receiveMesh(bytes, leftOut, reason);
        if (WEXITSTATUS(status) == 0) return shape;
        destroyShape(shape);
    } else {
        *reason = "importer failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
    }
    return nullptr;
}
