#include "import_isolated.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "companion_files.h"
#include "landlock.h"
#include "mesh_wire.h"
#include "progress.h"
#include "sandbox.h"

namespace {

// How the child ends, for whoever reads a trace: set-up and sending fail
// for different reasons. The parent goes by the final frame alone (a
// status cannot say anything the parent would believe), and shows the
// status only when no final frame came.
enum ChildExit {
    kOutcomeSent = 0,  // a mesh, the import's reason or its running out of memory
    kSetUpFailed = 1,  // the parent was gone, or the sandbox could not be set up (the reason sent if the pipe took it)
    kCannotSend = 2,   // the pipe did not take the import's outcome
};

int resultFd = -1;  // the child's end of the pipe

const double kMostSeconds = 600;  // the longest default time, whatever the input's size

[[noreturn]] void outOfMemory() { _exit(sendOutOfMemory(resultFd) ? kOutcomeSent : kCannotSend); }

void reportProgress(float share) { sendProgress(resultFd, share); }

// Lets the process read the mesh at `path` and the `companions` (O_PATH
// descriptors, closed here) and nothing else, where the kernel has
// Landlock. A mesh that cannot be opened gets no rule: the importer then
// fails to open it, and says so.
bool confineReadingTo(const char *path, std::vector<int> companions, std::string *reason) {
    std::vector<int> rules = std::move(companions);
    int mesh = open(path, O_PATH | O_CLOEXEC);
    if (mesh >= 0) rules.push_back(mesh);
    bool confined = landlockVersion() == 0 || confineToReading(rules, reason);
    for (int rule : rules) close(rule);
    return confined;
}

[[noreturn]] void setupFailed(int fd, const std::string &reason) {
    sendFailure(fd, reason);
    _exit(kSetUpFailed);
}

// Everything the child does; it never returns. Each step narrows what the
// importer can reach, the seccomp filter last, since it forbids the calls
// the earlier steps make.
[[noreturn]] void runChild(const char *path, const ImportLimits &limits, int fd, pid_t parent) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The parent may have died before the line above took effect.
    if (getppid() != parent) _exit(kSetUpFailed);
    std::string why;
    // What Assimp prints of its own goes nowhere: the reason comes back on
    // the pipe instead.
    if (!keepOnlyDescriptors(fd, &why)) setupFailed(fd, why);
    resultFd = kSandboxResultFd;
    // Assimp catches std::bad_alloc and reports it as an ordinary failure;
    // this makes running out of memory, there or in finding the files the
    // input names, end the child with its own frame.
    std::set_new_handler(outOfMemory);
    if (!limitMemory(limits.memoryMiB << 20, &why)) setupFailed(resultFd, why);
    std::vector<int> companions = companionFiles(path);
    if (!dropPrivileges(&why) || !confineReadingTo(path, companions, &why) || !enterSandbox(resultFd, &why))
        setupFailed(resultFd, why);
    MeshData mesh;
    bool imported = importMesh(path, &mesh, &why, reportProgress);
    bool sent = imported ? sendMesh(resultFd, mesh) : sendFailure(resultFd, why);
    _exit(sent ? kOutcomeSent : kCannotSend);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

enum Received { kEnded, kOutOfTime, kOutOfBounds };

// Reads the child's frames until it closes the pipe, time runs out, or what
// it sends can no longer be a result that fits in its memory cap (the reason
// is then in *reason).
Received receiveAll(int fd, WireReceiver *receiver, const ImportLimits &limits,
                    std::chrono::steady_clock::time_point start, std::string *reason) {
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
        if (!takeWireBytes(receiver, chunk, static_cast<std::size_t>(got), limits.memoryMiB << 20, setProgressShare,
                           reason))
            return kOutOfBounds;
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

// What the import came to, from what the parent saw itself (its own stop
// for time or for what the child sent, the signal the child died of) and
// otherwise from the child's final frame alone: its exit status never
// decides, since a compromised child chooses it.
//   Returns the shape (the caller's), or null with the reason in *reason.
Shape childOutcome(WireReceiver *receiver, Received received, bool intime, int status, const ImportLimits &limits,
                   LeftOut *leftOut, std::string *reason) {
    if (received == kOutOfBounds) return nullptr;  // *reason says why it was stopped
    if (!intime) {
        *reason = "took longer than " + number(limits.seconds) + " s; use --timeout to allow more";
        return nullptr;
    }
    if (WIFSIGNALED(status)) {
        *reason = WTERMSIG(status) == SIGSYS
                      ? "importer was stopped for a forbidden system call (signal " + std::to_string(SIGSYS) + ")"
                      : "importer crashed (signal " + std::to_string(WTERMSIG(status)) + ")";
        return nullptr;
    }
    Shape shape = nullptr;
    switch (wireResult(receiver, &shape, leftOut, reason)) {
        case WireResult::kMesh:
            return shape;
        case WireResult::kOutOfMemory:
            *reason = "the importer says it ran out of memory (its cap is " + std::to_string(limits.memoryMiB) +
                      " MiB); use --max-memory to allow more";
            break;
        case WireResult::kNone:
            *reason = "importer ended without a result (status " + std::to_string(WEXITSTATUS(status)) + ")";
            break;
        case WireResult::kFailure:
        case WireResult::kMalformed:
            break;  // *reason says it
    }
    return nullptr;
}

}  // namespace

ImportLimits defaultImportLimits(const char *path) {
    // What the file occupies, not what it claims: a sparse file's holes
    // cost the import nothing to hold, and a compressed file system's
    // understatement is bounded by the apparent size.
    struct stat info;
    unsigned long long bytes = 0;
    if (stat(path, &info) == 0 && info.st_size > 0 && info.st_blocks > 0)
        bytes = std::min(static_cast<unsigned long long>(info.st_size),
                         512 * static_cast<unsigned long long>(info.st_blocks));
    bytes = std::min(bytes, 1ULL << 50);  // no size a disk holds, and no overflow below
    ImportLimits limits;
    limits.seconds = std::min(kMostSeconds, 10 + std::ceil(static_cast<double>(bytes) / 1e6));
    limits.memoryMiB = 1024 + (16 * bytes >> 20);
    long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        limits.memoryMiB = std::min(
            limits.memoryMiB, static_cast<unsigned long long>(pages) * static_cast<unsigned long long>(pageSize) >> 21);
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
    WireReceiver receiver;
    Received received = receiveAll(ends[0], &receiver, limits, start, reason);
    close(ends[0]);
    int status = 0;
    bool intime = reap(child, &status, received == kEnded ? limits.seconds : 0, start) && received == kEnded;
    endProgress();
    Shape shape = childOutcome(&receiver, received, intime, status, limits, leftOut, reason);
    releaseWire(&receiver);
    return shape;
}
