#include "sandbox.h"

#include <fcntl.h>
#include <seccomp.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#define SANDBOX_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SANDBOX_UNDER_ASAN 1
#endif
#endif

bool limitMemory(unsigned long long bytes, std::string *reason) {
    struct rlimit noCore = {0, 0};
    if (setrlimit(RLIMIT_CORE, &noCore) != 0) {
        *reason = std::string("cannot turn core dumps off: ") + std::strerror(errno);
        return false;
    }
#ifndef SANDBOX_UNDER_ASAN
    struct rlimit space = {bytes, bytes};
    if (setrlimit(RLIMIT_AS, &space) != 0) {
        *reason = std::string("cannot limit memory: ") + std::strerror(errno);
        return false;
    }
#else
    (void)bytes;
#endif
    return true;
}

namespace {

// Calls that change the file system or reach out of the process.
const int kRefusedCalls[] = {
    SCMP_SYS(socket),   SCMP_SYS(socketpair), SCMP_SYS(creat),      SCMP_SYS(truncate),  SCMP_SYS(unlink),
    SCMP_SYS(unlinkat), SCMP_SYS(rename),     SCMP_SYS(renameat),   SCMP_SYS(renameat2), SCMP_SYS(mkdir),
    SCMP_SYS(mkdirat),  SCMP_SYS(rmdir),      SCMP_SYS(link),       SCMP_SYS(linkat),    SCMP_SYS(symlink),
    SCMP_SYS(symlinkat), SCMP_SYS(chmod),     SCMP_SYS(fchmodat),   SCMP_SYS(chown),     SCMP_SYS(fchownat),
    SCMP_SYS(lchown),   SCMP_SYS(mknod),      SCMP_SYS(mknodat),    SCMP_SYS(ptrace),    SCMP_SYS(process_vm_writev),
};

// Any one of these bits in open's flags means the file could be changed.
const unsigned kWritingFlags[] = {O_WRONLY, O_RDWR, O_CREAT, O_TRUNC, O_APPEND};

bool addRules(scmp_filter_ctx filter) {
    bool ok = seccomp_rule_add(filter, SCMP_ACT_KILL_PROCESS, SCMP_SYS(execve), 0) == 0 &&
              seccomp_rule_add(filter, SCMP_ACT_KILL_PROCESS, SCMP_SYS(execveat), 0) == 0 &&
              seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(openat2), 0) == 0;
    for (int call : kRefusedCalls) ok = ok && seccomp_rule_add(filter, SCMP_ACT_ERRNO(EACCES), call, 0) == 0;
    for (unsigned flag : kWritingFlags) {
        ok = ok &&
             seccomp_rule_add(filter, SCMP_ACT_ERRNO(EACCES), SCMP_SYS(open), 1,
                              SCMP_A1(SCMP_CMP_MASKED_EQ, flag, flag)) == 0 &&
             seccomp_rule_add(filter, SCMP_ACT_ERRNO(EACCES), SCMP_SYS(openat), 1,
                              SCMP_A2(SCMP_CMP_MASKED_EQ, flag, flag)) == 0;
    }
    return ok;
}

}  // namespace

bool enterSandbox(std::string *reason) {
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
    if (filter == nullptr) {
        *reason = "cannot make a seccomp filter";
        return false;
    }
    bool ok = addRules(filter);
    int loaded = ok ? seccomp_load(filter) : 0;
    seccomp_release(filter);
    if (!ok || loaded != 0) {
        *reason = std::string("cannot load the seccomp filter") + (loaded != 0 ? ": " : "") +
                  (loaded != 0 ? std::strerror(-loaded) : "");
        return false;
    }
    return true;
}
