#include "whole_output.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "output_failure.h"

namespace {

// The write under way, kept for abandonOutputWrite when the caller asks for
// it. `undoPending` is set after the note is written and cleared before it
// is dropped, so that a signal handler sees a whole note or none.
enum UndoKind { kNothingToUndo, kRemoveTemporary, kEmptyInPlace };
struct UndoNote {
    int folder = -1;            // the temporary file's folder
    char temporary[256] = {0};  // the temporary file's name
    int inPlace = -1;           // the file written in place
};
UndoNote undoNote;
std::atomic<int> undoPending{kNothingToUndo};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler reads undoPending");

// Every signal held back in this thread, while a file is made and noted
// together; *previous receives the mask to restore.
void holdSignals(bool hold, sigset_t *previous) {
    if (!hold) return;
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, previous);
}

void releaseSignals(bool held, const sigset_t &previous) {
    if (held) pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

std::string shownFolder(const OutputTarget &target) { return target.folderPath.empty() ? "." : target.folderPath; }

std::string pathBeside(const OutputTarget &target, const std::string &name) {
    return joined(shownFolder(target), name);
}

// The first bytes of the regular file at the target, up to `count`; false
// with errno set when it cannot be read.
bool readStart(const OutputTarget &target, std::size_t count, std::string *start) {
    int fd = target.direct >= 0
                 ? open(descriptorPath(target.direct, pathBeside(target, target.name)).c_str(), O_RDONLY | O_CLOEXEC)
                 : openat(target.folder, target.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    start->assign(count, '\0');
    std::size_t got = 0;
    ssize_t length = 1;
    while (got < count && length > 0) {
        length = read(fd, &(*start)[got], count - got);
        if (length > 0) got += static_cast<std::size_t>(length);
    }
    int savedErrno = errno;
    close(fd);
    errno = savedErrno;
    start->resize(got);
    return length >= 0;
}

// The rules against what is at the target now.
bool followsRules(const OutputTarget &target, const OutputRules &rules, OutputError *error) {
    struct stat there;
    if (statOutput(target, &there) != 0) {
        if (errno == ENOENT) return true;
        return fail(error, OutputFailure::kCannotOpen, errno, std::strerror(errno));
    }
    if (!S_ISREG(there.st_mode)) return true;
    for (const std::string &input : rules.inputs) {
        struct stat read;
        if (stat(input.c_str(), &read) == 0 && read.st_dev == there.st_dev && read.st_ino == there.st_ino)
            return fail(error, OutputFailure::kIsAnInput, 0,
                        "is the same file as the input " + input + ": nothing was written");
    }
    // Replaced, such a file would keep the permission bits its owner chose,
    // who could then change what the caller wrote (root's output in /tmp).
    if (target.direct < 0 && !mayUseInFolder(target.folder, there)) {
        return fail(error, OutputFailure::kLinkRefused, EACCES,
                    "is a file of another user (uid " + std::to_string(there.st_uid) +
                        ") in a world-writable sticky folder: it is not replaced, and nothing was written");
    }
    if (rules.signature.empty() || there.st_size == 0) return true;
    std::string start;
    if (!readStart(target, rules.signature.size(), &start)) {
        return fail(error, OutputFailure::kWouldLoseData, errno,
                    std::string("cannot be read to check that it is ") + rules.kind + ": " + std::strerror(errno));
    }
    if (start != rules.signature)
        return fail(error, OutputFailure::kWouldLoseData, 0,
                    "is neither empty nor " + rules.kind + ", so it is not replaced");
    return true;
}

// 0666 less the umask, read where that does not change it for a moment
// (which other threads would see).
mode_t newFileMode() {
    unsigned int mask = 0;
    bool found = false;
    if (std::FILE *status = std::fopen("/proc/self/status", "re")) {
        char line[128];
        while (!found && std::fgets(line, sizeof line, status) != nullptr)
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(status);
    }
    if (!found) {
        mode_t old = umask(0);
        umask(old);
        mask = old;
    }
    return 0666 & ~static_cast<mode_t>(mask);
}

std::string randomLetters(std::size_t count) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char bytes[16] = {0};
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        // O_EXCL keeps a guessed name harmless; this only makes clashes rare.
        unsigned long seed =
            static_cast<unsigned long>(std::time(nullptr)) ^ (static_cast<unsigned long>(getpid()) << 16);
        for (unsigned char &byte : bytes) byte = static_cast<unsigned char>(seed = seed * 6364136223846793005UL + 1);
    }
    std::string letters;
    for (std::size_t i = 0; i < count; i++) letters += kLetters[bytes[i % sizeof bytes] % (sizeof kLetters - 1)];
    return letters;
}

// A new file beside the target's name, readable and writable by its owner
// only until it is complete; its name in *name. -1 with errno set.
int createTemporary(const OutputTarget &target, std::string *name) {
    for (int attempt = 0; attempt < 100; attempt++) {
        *name = "." + target.name.substr(0, 200) + ".partial-" + randomLetters(6);
        int fd = openat(target.folder, name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

bool writeBeside(const OutputTarget &target, const OutputWriter &write, bool undoable, OutputError *error) {
    struct stat there;
    bool replacing = statOutput(target, &there) == 0 && S_ISREG(there.st_mode);
    mode_t mode = replacing ? there.st_mode & 0777 : newFileMode();
    std::string temporary;
    sigset_t previous;
    holdSignals(undoable, &previous);
    int fd = createTemporary(target, &temporary);
    if (fd >= 0 && undoable && temporary.size() < sizeof undoNote.temporary) {
        undoNote.folder = target.folder;
        std::memcpy(undoNote.temporary, temporary.c_str(), temporary.size() + 1);
        undoPending = kRemoveTemporary;
    }
    releaseSignals(undoable, previous);
    if (fd < 0) {
        return fail(error, OutputFailure::kCannotOpen, errno,
                    "cannot create a file in " + shownFolder(target) + ": " + std::strerror(errno));
    }
    std::string reason;
    int systemError = 0;
    bool written = write(descriptorPath(fd, pathBeside(target, temporary)).c_str(), &reason);
    if (written && (fsync(fd) != 0 || fchmod(fd, mode) != 0 ||
                    renameat(target.folder, temporary.c_str(), target.folder, target.name.c_str()) != 0)) {
        systemError = errno;
        reason = std::strerror(errno);
        written = false;
    }
    if (!written) unlinkat(target.folder, temporary.c_str(), 0);
    undoPending = kNothingToUndo;
    close(fd);
    if (!written) return fail(error, OutputFailure::kCannotWrite, systemError, reason);
    // The rename lasts through a crash once the folder is synced too. The
    // output is in place either way, and some file systems cannot sync a
    // folder, so a failure here changes nothing.
    int folder = openat(target.folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return true;
}

// An empty file that whoever made it may hold open to read the output
// through (a thumbnail service does): the caller's, with one link, and no
// mode bit that the rename would drop.
bool isEmptyFileToFill(const struct stat &there) {
    return S_ISREG(there.st_mode) && there.st_size == 0 && there.st_nlink == 1 && there.st_uid == geteuid() &&
           (there.st_mode & 07000) == 0;
}

enum class InPlace { kWritten, kFailed, kNotPossible };

// Writes the empty file `there` at the target where it is: opened without
// following a link or waiting, and checked again once open, so that a file
// swapped in meanwhile is not written (kNotPossible: the caller writes
// beside it instead). Emptied again when the write or the sync fails.
InPlace writeInPlace(const OutputTarget &target, const struct stat &there, const OutputWriter &write, bool undoable,
                     OutputError *error) {
    sigset_t previous;
    holdSignals(undoable, &previous);
    int fd = openat(target.folder, target.name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat now;
    if (fd >= 0 &&
        (fstat(fd, &now) != 0 || !isEmptyFileToFill(now) || now.st_dev != there.st_dev || now.st_ino != there.st_ino)) {
        close(fd);
        fd = -1;
    }
    if (fd >= 0 && undoable) {
        undoNote.inPlace = fd;
        undoPending = kEmptyInPlace;
    }
    releaseSignals(undoable, previous);
    if (fd < 0) return InPlace::kNotPossible;
    std::string reason;
    int systemError = 0;
    bool written = write(descriptorPath(fd, pathBeside(target, target.name)).c_str(), &reason);
    if (written && fsync(fd) != 0) {
        systemError = errno;
        reason = std::strerror(errno);
        written = false;
    }
    if (!written && ftruncate(fd, 0) != 0) reason += std::string(", and it cannot be emptied: ") + std::strerror(errno);
    undoPending = kNothingToUndo;
    close(fd);
    if (written) return InPlace::kWritten;
    fail(error, OutputFailure::kCannotWrite, systemError, reason);
    return InPlace::kFailed;
}

// True when the target is a pipe that no one reads any more: opening a
// FIFO for writing without waiting then fails with ENXIO; an unnamed pipe
// (a shell's "| head") opens all the same, and polls as an error.
bool readerGone(const OutputTarget &target, const std::string &path) {
    struct stat info;
    if (fstat(target.direct, &info) != 0 || !S_ISFIFO(info.st_mode)) return false;
    int probe = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (probe < 0) return errno == ENXIO;
    struct pollfd end = {probe, POLLOUT, 0};
    bool gone = poll(&end, 1, 0) == 1 && (end.revents & POLLERR) != 0;
    close(probe);
    return gone;
}

bool writeDirectly(const OutputTarget &target, const OutputWriter &write, OutputError *error) {
    std::string path = descriptorPath(target.direct, pathBeside(target, target.name));
    // Held back in this thread, SIGPIPE leaves the write failing with EPIPE;
    // one raised meanwhile is taken before it is let through again.
    sigset_t pipeSignal, previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    std::string reason;
    bool written = write(path.c_str(), &reason);
    if (!sigismember(&previous, SIGPIPE)) {
        const struct timespec noWait = {0, 0};
        while (sigtimedwait(&pipeSignal, nullptr, &noWait) == SIGPIPE) {
        }
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
    if (written) return true;
    if (readerGone(target, path))
        return fail(error, OutputFailure::kReaderGone, EPIPE, "the reader of the output went away");
    return fail(error, OutputFailure::kCannotWrite, 0, reason);
}

}  // namespace

bool prepareOutput(const std::string &path, const OutputRules &rules, OutputTarget *target, OutputError *error) {
    if (!findOutput(path, target, error)) return false;
    if (followsRules(*target, rules, error)) return true;
    releaseOutput(target);
    return false;
}

bool writeOutput(const OutputTarget &target, const OutputRules &rules, const OutputWriter &write, OutputError *error) {
    *error = OutputError();
    if (!followsRules(target, rules, error)) return false;
    if (target.direct >= 0) return writeDirectly(target, write, error);
    struct stat there;
    if (!target.throughLink && statOutput(target, &there) == 0 && isEmptyFileToFill(there)) {
        InPlace outcome = writeInPlace(target, there, write, rules.undoableFromSignal, error);
        if (outcome != InPlace::kNotPossible) return outcome == InPlace::kWritten;
    }
    return writeBeside(target, write, rules.undoableFromSignal, error);
}

void abandonOutputWrite() {
    switch (undoPending.load()) {
        case kRemoveTemporary:
            unlinkat(undoNote.folder, undoNote.temporary, 0);
            break;
        case kEmptyInPlace:
            (void)!ftruncate(undoNote.inPlace, 0);
            break;
        default:
            break;
    }
}

namespace {

// Runs with the default action back in place (SA_RESETHAND) and the signal
// held back until it returns, so the signal raised again then ends the
// process as it would have.
void onTermination(int signal) {
    abandonOutputWrite();
    raise(signal);
}

}  // namespace

void abandonOutputOnTermination() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current;
        if (sigaction(signal, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) != 0 ||
            current.sa_handler != SIG_DFL)
            continue;
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = onTermination;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        sigaction(signal, &action, nullptr);
    }
}

bool writeOutputWhole(const std::string &path, const OutputRules &rules, const OutputWriter &write,
                      OutputError *error) {
    OutputTarget target;
    // writeOutput judges the target by the rules.
    if (!findOutput(path, &target, error)) return false;
    bool written = writeOutput(target, rules, write, error);
    releaseOutput(&target);
    return written;
}
