#include "output_target.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <vector>

#include "output_failure.h"

namespace {

// The kernel's own limit on the links one lookup follows.
const int kMaxLinks = 40;

// A path walked one component at a time; the last one is the output's name.
struct Walk {
    int folder = -1;         // where the walk is (O_PATH, owned)
    std::string folderPath;  // the same as a path: "" the working folder
    std::deque<std::string> rest;
    int links = 0;
    bool throughLink = false;  // the last component came from a link
};

// The folder part of a path as it was given, for messages.
std::string givenFolder(const std::string &path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Puts the components of `path` in front of those still to walk; a path
// that ends in a slash ends in "." (its last component must be a folder).
void pushComponents(const std::string &path, std::deque<std::string> *rest) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        if (slash > start) parts.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    if (!path.empty() && path.back() == '/') parts.push_back(".");
    rest->insert(rest->begin(), parts.begin(), parts.end());
}

// Starts the walk over at the root folder ("/...") or stays where it is.
bool startAt(const std::string &path, Walk *walk) {
    if (path.empty() || (path[0] != '/' && walk->folder >= 0)) return true;
    int folder = open(path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return false;
    if (walk->folder >= 0) close(walk->folder);
    walk->folder = folder;
    walk->folderPath = path[0] == '/' ? "/" : "";
    return true;
}

// In a folder that anyone may write to but only owners may remove from,
// another user's entry is not used, unless it is the folder owner's.
bool mayUse(const struct stat &folder, const struct stat &entry) {
    if ((folder.st_mode & (S_ISVTX | S_IWOTH)) != (S_ISVTX | S_IWOTH)) return true;
    return entry.st_uid == geteuid() || entry.st_uid == folder.st_uid;
}

bool inProc(int folder) {
    struct statfs info;
    return fstatfs(folder, &info) == 0 && info.f_type == PROC_SUPER_MAGIC;
}

// The text of the link open as `link` (O_PATH); false with errno set.
bool readLink(int link, std::string *text) {
    std::vector<char> buffer(256);
    for (;;) {
        ssize_t length = readlinkat(link, "", buffer.data(), buffer.size());
        if (length < 0) return false;
        if (static_cast<std::size_t>(length) < buffer.size()) {
            text->assign(buffer.data(), static_cast<std::size_t>(length));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// Ends the walk at `name` in the walk's folder: open as `entry` (O_PATH,
// handed over) and described by *info, or not there (entry -1, info null).
bool arrive(Walk *walk, const std::string &name, int entry, const struct stat *info, OutputTarget *target,
            OutputError *error) {
    if (info != nullptr && S_ISDIR(info->st_mode)) {
        close(entry);
        return fail(error, OutputFailure::kCannotOpen, EISDIR, std::strerror(EISDIR));
    }
    struct stat folder;
    if (info != nullptr && S_ISFIFO(info->st_mode) && fstat(walk->folder, &folder) == 0 && !mayUse(folder, *info)) {
        close(entry);
        return fail(error, OutputFailure::kLinkRefused, EACCES,
                    "is a pipe of another user (uid " + std::to_string(info->st_uid) +
                        ") in a world-writable sticky folder: nothing was written to it");
    }
    // A regular file is replaced by name; anything else, and any file in
    // /proc, is written to where it is.
    if (info != nullptr && S_ISREG(info->st_mode) && !inProc(walk->folder)) {
        close(entry);
    } else {
        target->direct = entry;
    }
    target->folder = walk->folder;
    target->folderPath = walk->folderPath;
    target->name = name;
    target->throughLink = walk->throughLink;
    walk->folder = -1;
    return true;
}

// Follows the link open as `link` (O_PATH), found as `name` in the walk's
// folder, if the rule allows it: by its text, or through the kernel in
// /proc, whose links lead to open files rather than to names (the walk
// may then end there: *arrived).
bool follow(Walk *walk, const std::string &name, int link, const struct stat &info, bool last, OutputTarget *target,
            OutputError *error, bool *arrived) {
    struct stat folder;
    if (fstat(walk->folder, &folder) != 0) return fail(error, OutputFailure::kCannotOpen, errno, std::strerror(errno));
    if (!mayUse(folder, info)) {
        return fail(error, OutputFailure::kLinkRefused, EACCES,
                    "the symbolic link " + joined(walk->folderPath, name) + " belongs to another user (uid " +
                        std::to_string(info.st_uid) +
                        ") in a world-writable sticky folder: it is not followed, and nothing was written");
    }
    if (++walk->links > kMaxLinks) return fail(error, OutputFailure::kCannotOpen, ELOOP, std::strerror(ELOOP));
    if (inProc(walk->folder)) {
        int followed = openat(walk->folder, name.c_str(), O_PATH | O_CLOEXEC);
        struct stat there;
        if (followed < 0 || fstat(followed, &there) != 0) {
            int savedErrno = errno;
            if (followed >= 0) close(followed);
            return fail(error, OutputFailure::kCannotOpen, savedErrno, std::strerror(savedErrno));
        }
        if (last) return *arrived = arrive(walk, name, followed, &there, target, error);
        if (!S_ISDIR(there.st_mode)) {
            close(followed);
            return fail(error, OutputFailure::kCannotOpen, ENOTDIR, std::strerror(ENOTDIR));
        }
        close(walk->folder);
        walk->folder = followed;
        walk->folderPath = joined(walk->folderPath, name);
        return true;
    }
    std::string text;
    if (!readLink(link, &text)) return fail(error, OutputFailure::kCannotOpen, errno, std::strerror(errno));
    if (text.empty()) return fail(error, OutputFailure::kCannotOpen, ENOENT, std::strerror(ENOENT));
    if (!startAt(text, walk)) return fail(error, OutputFailure::kCannotOpen, errno, std::strerror(errno));
    pushComponents(text, &walk->rest);
    walk->throughLink = walk->throughLink || last;
    return true;
}

}  // namespace

bool findOutput(const std::string &path, OutputTarget *target, OutputError *error) {
    *target = OutputTarget();
    *error = OutputError();
    Walk walk;
    if (path.empty()) return fail(error, OutputFailure::kCannotOpen, ENOENT, std::strerror(ENOENT));
    if (!startAt(path, &walk)) return fail(error, OutputFailure::kCannotOpen, errno, std::strerror(errno));
    pushComponents(path, &walk.rest);
    bool found = false;
    while (!found && error->failure == OutputFailure::kNone) {
        std::string name = walk.rest.front();
        walk.rest.pop_front();
        bool last = walk.rest.empty();
        int entry = openat(walk.folder, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        struct stat info;
        if (entry >= 0 && fstat(entry, &info) != 0) {
            int savedErrno = errno;
            close(entry);
            entry = -1;
            errno = savedErrno;
        }
        if (entry < 0) {
            int savedErrno = errno;
            if (last && savedErrno == ENOENT && !walk.throughLink) {
                found = arrive(&walk, name, -1, nullptr, target, error);
            } else if (last && savedErrno == ENOENT) {
                fail(error, OutputFailure::kCannotOpen, ENOENT, "is a symbolic link to nothing");
            } else {
                fail(error, OutputFailure::kCannotOpen, savedErrno,
                     "cannot create a file in " + givenFolder(path) + ": " + std::strerror(savedErrno));
            }
        } else if (S_ISLNK(info.st_mode)) {
            follow(&walk, name, entry, info, last, target, error, &found);
            close(entry);
        } else if (last) {
            found = arrive(&walk, name, entry, &info, target, error);
        } else if (!S_ISDIR(info.st_mode)) {
            close(entry);
            fail(error, OutputFailure::kCannotOpen, ENOTDIR,
                 "cannot create a file in " + givenFolder(path) + ": " + std::strerror(ENOTDIR));
        } else {
            close(walk.folder);
            walk.folder = entry;
            walk.folderPath = joined(walk.folderPath, name);
        }
    }
    if (walk.folder >= 0) close(walk.folder);
    if (!found) releaseOutput(target);
    return found;
}

bool mayUseInFolder(int folder, const struct stat &entry) {
    struct stat info;
    return fstat(folder, &info) == 0 && mayUse(info, entry);
}

void releaseOutput(OutputTarget *target) {
    if (target->folder >= 0) close(target->folder);
    if (target->direct >= 0) close(target->direct);
    target->folder = target->direct = -1;
}

int statOutput(const OutputTarget &target, struct stat *info) {
    if (target.direct >= 0) return fstat(target.direct, info);
    return fstatat(target.folder, target.name.c_str(), info, AT_SYMLINK_NOFOLLOW);
}

std::string descriptorPath(int descriptor, const std::string &fallback) {
    static const bool haveProc = access("/proc/self/fd", X_OK) == 0;
    return haveProc ? "/proc/self/fd/" + std::to_string(descriptor) : fallback;
}
