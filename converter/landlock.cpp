#include "landlock.h"

#include <linux/landlock.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

// Debian 12's kernel headers stop at ABI 2; these are the later rights, with
// the values the kernel gives them.
#ifndef LANDLOCK_ACCESS_FS_TRUNCATE
#define LANDLOCK_ACCESS_FS_TRUNCATE (1ULL << 14)  // ABI 3
#endif
#ifndef LANDLOCK_ACCESS_FS_IOCTL_DEV
#define LANDLOCK_ACCESS_FS_IOCTL_DEV (1ULL << 15)  // ABI 5
#endif
#ifndef LANDLOCK_ACCESS_NET_BIND_TCP
#define LANDLOCK_ACCESS_NET_BIND_TCP (1ULL << 0)  // ABI 4
#define LANDLOCK_ACCESS_NET_CONNECT_TCP (1ULL << 1)
#endif
#ifndef LANDLOCK_SCOPE_ABSTRACT_UNIX_SOCKET
#define LANDLOCK_SCOPE_ABSTRACT_UNIX_SOCKET (1ULL << 0)  // ABI 6
#define LANDLOCK_SCOPE_SIGNAL (1ULL << 1)
#endif

namespace {

// The ruleset as of ABI 6. An older kernel reads the fields it knows and
// accepts the rest as long as they are zero.
struct RulesetAttr {
    std::uint64_t handledAccessFs;
    std::uint64_t handledAccessNet;
    std::uint64_t scoped;
};

std::uint64_t fileSystemRights(int version) {
    std::uint64_t rights = (LANDLOCK_ACCESS_FS_MAKE_SYM << 1) - 1;  // ABI 1: execute .. make symlink
    if (version >= 2) rights |= LANDLOCK_ACCESS_FS_REFER;
    if (version >= 3) rights |= LANDLOCK_ACCESS_FS_TRUNCATE;
    if (version >= 5) rights |= LANDLOCK_ACCESS_FS_IOCTL_DEV;
    return rights;
}

std::string failed(const char *step) {
    return std::string("cannot confine reading (") + step + "): " + std::strerror(errno);
}

}  // namespace

int landlockVersion() {
    long version = syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    return version > 0 ? static_cast<int>(version) : 0;
}

bool confineToReading(const std::vector<int> &readable, std::string *reason) {
    int version = landlockVersion();
    if (version == 0) {
        *reason = "the kernel offers no Landlock";
        return false;
    }
    RulesetAttr ruleset = {fileSystemRights(version), 0, 0};
    if (version >= 4) ruleset.handledAccessNet = LANDLOCK_ACCESS_NET_BIND_TCP | LANDLOCK_ACCESS_NET_CONNECT_TCP;
    if (version >= 6) ruleset.scoped = LANDLOCK_SCOPE_ABSTRACT_UNIX_SOCKET | LANDLOCK_SCOPE_SIGNAL;
    int rulesetFd = static_cast<int>(syscall(SYS_landlock_create_ruleset, &ruleset, sizeof ruleset, 0));
    if (rulesetFd < 0) {
        *reason = failed("ruleset");
        return false;
    }
    bool ok = true;
    for (int fd : readable) {
        // A rule for a folder would let every file below it be read: a name
        // swapped for a link to one (to "/") between the caller's check and
        // its open must not get that.
        struct stat info;
        if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) continue;
        struct landlock_path_beneath_attr rule = {LANDLOCK_ACCESS_FS_READ_FILE, fd};
        if (syscall(SYS_landlock_add_rule, rulesetFd, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) != 0) {
            *reason = failed("rule");
            ok = false;
            break;
        }
    }
    if (ok && syscall(SYS_landlock_restrict_self, rulesetFd, 0) != 0) {
        *reason = failed("restrict");
        ok = false;
    }
    close(rulesetFd);
    return ok;
}
