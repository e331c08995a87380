#include "escapes.h"

#include <dirent.h>
#include <fcntl.h>
#ifdef BSV2_HAVE_LIBURING
#include <liburing.h>
#endif
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

std::string param(const char *name) {
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

const struct timespec kEpoch[2] = {{0, 0}, {0, 0}};

bool createByOpen(std::string *evidence) {
    std::string path = param("HOSTILE_DIR") + "/created-by-open";
    int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (fd < 0) return false;
    *evidence = "created " + path + (write(fd, "x", 1) == 1 ? " and wrote to it" : "");
    close(fd);
    return true;
}

#ifdef BSV2_HAVE_LIBURING
// One request through io_uring, whose operations seccomp never sees; the
// result of the request (a descriptor, a byte count or -errno).
int submitOne(struct io_uring *ring, void (*prepare)(struct io_uring_sqe *, const void *), const void *arg) {
    prepare(io_uring_get_sqe(ring), arg);
    struct io_uring_cqe *done = nullptr;
    if (io_uring_submit(ring) != 1 || io_uring_wait_cqe(ring, &done) != 0) return -1;
    int result = done->res;
    io_uring_cqe_seen(ring, done);
    return result;
}

bool createByIoUring(std::string *evidence) {
    struct io_uring ring;
    if (io_uring_queue_init(4, &ring, 0) != 0) return false;
    std::string path = param("HOSTILE_DIR") + "/created-by-io-uring";
    int fd = submitOne(
        &ring,
        [](struct io_uring_sqe *sqe, const void *name) {
            io_uring_prep_openat(sqe, AT_FDCWD, static_cast<const char *>(name), O_CREAT | O_WRONLY, 0644);
        },
        path.c_str());
    int wrote = fd < 0 ? -1
                       : submitOne(
                             &ring,
                             [](struct io_uring_sqe *sqe, const void *file) {
                                 io_uring_prep_write(sqe, *static_cast<const int *>(file), "x", 1, 0);
                             },
                             &fd);
    io_uring_queue_exit(&ring);
    if (fd < 0) return false;
    *evidence = "created " + path + (wrote == 1 ? " and wrote to it" : "");
    return true;
}
#else
// Built without liburing: the attempt cannot be made, and its test row
// says so and is skipped.
bool createByIoUring(std::string *) { return false; }
#endif

// A change to the input through a descriptor opened only for reading.
bool throughReadOnlyDescriptor(int (*change)(int fd), const char *what, std::string *evidence) {
    int fd = open(param("HOSTILE_INPUT").c_str(), O_RDONLY);
    bool changed = fd >= 0 && change(fd) == 0;
    if (fd >= 0) close(fd);
    if (changed) *evidence = std::string(what) + " of the input changed through a read-only descriptor";
    return changed;
}

bool modeByDescriptor(std::string *evidence) {
    return throughReadOnlyDescriptor([](int fd) { return fchmod(fd, 0777); }, "the mode", evidence);
}

bool timesByDescriptor(std::string *evidence) {
    return throughReadOnlyDescriptor([](int fd) { return futimens(fd, kEpoch); }, "the times", evidence);
}

bool attributeByDescriptor(std::string *evidence) {
    return throughReadOnlyDescriptor([](int fd) { return fsetxattr(fd, "user.escaped", "1", 1, 0); },
                                     "an extended attribute", evidence);
}

bool modeByPath(std::string *evidence) {
    std::string input = param("HOSTILE_INPUT");
#ifndef SYS_fchmodat2
    const long SYS_fchmodat2 = 452;  // Linux 6.6
#endif
    bool changed = syscall(SYS_fchmodat2, AT_FDCWD, input.c_str(), 0777, 0) == 0 ||
                   fchmodat(AT_FDCWD, input.c_str(), 0777, 0) == 0;
    if (changed) *evidence = "the input's mode changed by path";
    return changed;
}

bool timesByPath(std::string *evidence) {
    bool changed = utimensat(AT_FDCWD, param("HOSTILE_INPUT").c_str(), kEpoch, 0) == 0;
    if (changed) *evidence = "the input's times changed by path";
    return changed;
}

bool signalOther(std::string *evidence) {
    pid_t victim = static_cast<pid_t>(std::atol(param("HOSTILE_PID").c_str()));
    bool sent = victim > 0 && kill(victim, SIGTERM) == 0;
    if (sent) *evidence = "signalled process " + std::to_string(victim);
    return sent;
}

bool openSocket(std::string *evidence) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) s = socket(AF_UNIX, SOCK_STREAM, 0);
    if (s < 0) return false;
    close(s);
    *evidence = "opened a socket";
    return true;
}

bool readFile(const std::string &path, std::string *evidence) {
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    char text[256];
    ssize_t got = read(fd, text, sizeof text);
    close(fd);
    if (got <= 0) return false;
    *evidence = "read " + path + ": " + std::string(text, static_cast<std::size_t>(got));
    return true;
}

bool readOutside(std::string *evidence) { return readFile(param("HOSTILE_SECRET"), evidence); }

bool readBeside(std::string *evidence) { return readFile(param("HOSTILE_BESIDE"), evidence); }

bool readNamedWrongRole(std::string *evidence) { return readFile(param("HOSTILE_NAMED"), evidence); }

bool readNamedHidden(std::string *evidence) { return readFile(param("HOSTILE_HIDDEN"), evidence); }

bool listFolder(std::string *evidence) {
    DIR *folder = opendir(param("HOSTILE_DIR").c_str());
    if (folder == nullptr) return false;
    std::string names;
    while (struct dirent *entry = readdir(folder)) names += std::string(" ") + entry->d_name;
    closedir(folder);
    if (names.empty()) return false;
    *evidence = "listed" + names;
    return true;
}

bool writeInherited(std::string *evidence) {
    int fd = std::atoi(param("HOSTILE_FD").c_str());
    bool wrote = fd > 2 && write(fd, "escaped\n", 8) == 8;
    if (wrote) *evidence = "wrote to inherited descriptor " + std::to_string(fd);
    return wrote;
}

bool mountFileSystem(std::string *evidence) {
    // A mount namespace of its own (with a user namespace when not root);
    // its mounts made private first, so that nothing reaches the caller's.
    if (unshare(CLONE_NEWNS) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
    if (mount("hostile", param("HOSTILE_DIR").c_str(), "tmpfs", 0, nullptr) != 0) return false;
    *evidence = "mounted a file system";
    return true;
}

bool runProgram(std::string *) {
    std::string made = param("HOSTILE_DIR") + "/created-by-exec";
    execl("/usr/bin/touch", "touch", made.c_str(), static_cast<char *>(nullptr));
    return false;
}

struct Attempt {
    const char *name;
    bool (*run)(std::string *evidence);
};

const Attempt kAttempts[] = {
    {"create-by-open", createByOpen},
    {"create-by-io-uring", createByIoUring},
    {"mode-by-descriptor", modeByDescriptor},
    {"times-by-descriptor", timesByDescriptor},
    {"attribute-by-descriptor", attributeByDescriptor},
    {"mode-by-path", modeByPath},
    {"times-by-path", timesByPath},
    {"signal-other-process", signalOther},
    {"open-socket", openSocket},
    {"read-outside-folder", readOutside},
    {"read-beside-input", readBeside},
    {"read-named-wrong-role", readNamedWrongRole},
    {"read-named-hidden", readNamedHidden},
    {"list-folder", listFolder},
    {"write-inherited-descriptor", writeInherited},
    {"mount", mountFileSystem},
    {"run-program", runProgram},
};

}  // namespace

bool tryEscape(const std::string &name, std::string *evidence) {
    for (const Attempt &attempt : kAttempts) {
        if (name == attempt.name) return attempt.run(evidence);
    }
    return false;
}
