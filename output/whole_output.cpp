#include "whole_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

std::string systemReason() { return std::strerror(errno); }

// The file a link leads to, or "" (with errno set) when it leads nowhere.
std::string linkTarget(const std::string &link) {
    std::unique_ptr<char, decltype(&std::free)> real(realpath(link.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : "";
}

mode_t newFileMode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Syncs a written file's data to disk; false with errno set when it fails.
bool syncFile(const char *path, int flags) {
    int fd = open(path, flags | O_CLOEXEC);
    if (fd < 0) return false;
    bool synced = fsync(fd) == 0;
    int savedErrno = errno;
    close(fd);
    errno = savedErrno;
    return synced;
}

}  // namespace

bool writeOutputWhole(const std::string &output, const OutputWriter &write, std::string *reason) {
    std::string target = output;
    struct stat info;
    if (lstat(output.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        target = linkTarget(output);
        if (target.empty()) {
            *reason = errno == ENOENT ? "is a symbolic link to nothing" : systemReason();
            return false;
        }
    }
    bool exists = stat(target.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) {
        *reason = std::strerror(EISDIR);
        return false;
    }
    if (exists && !S_ISREG(info.st_mode)) return write(target.c_str(), reason);
    mode_t mode = exists ? info.st_mode & 07777 : newFileMode();

    std::size_t slash = target.find_last_of('/');
    std::string directory = slash == std::string::npos ? "." : target.substr(0, slash == 0 ? 1 : slash);
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temporary = directory + "/." + name + ".partial-XXXXXX";
    int fd = mkstemp(temporary.data());
    if (fd < 0) {
        *reason = "cannot create a file in " + directory + ": " + systemReason();
        return false;
    }
    close(fd);
    if (!write(temporary.c_str(), reason)) {
        std::remove(temporary.c_str());
        return false;
    }
    if (!syncFile(temporary.c_str(), O_RDONLY) || chmod(temporary.c_str(), mode) != 0 ||
        std::rename(temporary.c_str(), target.c_str()) != 0) {
        *reason = systemReason();
        std::remove(temporary.c_str());
        return false;
    }
    // The rename lasts through a crash once the folder is synced too. The
    // output is in place either way, and some file systems cannot sync a
    // folder, so a failure here changes nothing.
    syncFile(directory.c_str(), O_RDONLY | O_DIRECTORY);
    return true;
}
