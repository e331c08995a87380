#include "sandbox.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "landlock.h"

#if defined(__SANITIZE_ADDRESS__)
#define SANDBOX_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SANDBOX_UNDER_ASAN 1
#endif
#endif

namespace {

std::string failed(const char *step) { return std::string("cannot ") + step + ": " + std::strerror(errno); }

}  // namespace

bool limitMemory(unsigned long long bytes, std::string *reason) {
    struct rlimit noCore = {0, 0};
    if (setrlimit(RLIMIT_CORE, &noCore) != 0) {
        *reason = failed("turn core dumps off");
        return false;
    }
#ifndef SANDBOX_UNDER_ASAN
    struct rlimit space = {bytes, bytes};
    if (setrlimit(RLIMIT_AS, &space) != 0) {
        *reason = failed("limit memory");
        return false;
    }
#else
    (void)bytes;
#endif
    return true;
}

bool keepOnlyDescriptors(int resultFd, std::string *reason) {
    // Out of the way first: started with 0, 1 or 2 closed, the pipe may be
    // one of them.
    int result = fcntl(resultFd, F_DUPFD_CLOEXEC, kSandboxResultFd + 1);
    int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (result < 0 || devNull < 0 || dup2(devNull, 0) < 0 || dup2(devNull, 1) < 0 || dup2(devNull, 2) < 0 ||
        dup2(result, kSandboxResultFd) < 0) {
        *reason = failed("set up the importer's descriptors");
        return false;
    }
    if (close_range(kSandboxResultFd + 1, ~0U, 0) != 0) {
        // Kernels before 5.9: one at a time.
        struct rlimit open;
        if (getrlimit(RLIMIT_NOFILE, &open) != 0) open.rlim_cur = 1024;
        for (rlim_t fd = kSandboxResultFd + 1; fd < open.rlim_cur; fd++) close(static_cast<int>(fd));
    }
    return true;
}

bool dropPrivileges(std::string *reason) {
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        *reason = failed("set no-new-privileges");
        return false;
    }
    // The bounding set can only be lowered with CAP_SETPCAP; without it there
    // is nothing to gain that no-new-privileges does not already forbid.
    for (int cap = 0; prctl(PR_CAPBSET_READ, cap, 0, 0, 0) >= 0; cap++) {
        if (prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0 && errno != EPERM) {
            *reason = failed("drop capabilities");
            return false;
        }
    }
    prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);  // EINVAL before Linux 4.3, where there are none
    struct __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    struct __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capset, &header, none) != 0) {
        *reason = failed("drop capabilities");
        return false;
    }
    return true;
}

namespace {

bool allow(scmp_filter_ctx filter, int call) { return seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0) == 0; }

bool allow(scmp_filter_ctx filter, int call, scmp_arg_cmp condition) {
    return seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 1, condition) == 0;
}

// Every system call an import makes once the filter is in place, found by
// tracing the import of each model of Assimp's own test set and of the
// converter fuzzer's seeds (strace -f). The default for all others is
// ENOSYS, the one error glibc takes as "not here" and falls back from.
bool addAllowedCalls(scmp_filter_ctx filter, int resultFd) {
    // glibc's __O_TMPFILE carries the O_DIRECTORY bit as well: tested as a
    // whole it would refuse every directory open with ENOSYS, where
    // Landlock's EACCES is the answer every other refused open gets.
    const int tmpFile = __O_TMPFILE & ~O_DIRECTORY;
    const unsigned writingFlags = O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND | tmpFile;
    const scmp_datum_t self = static_cast<scmp_datum_t>(getpid());  // one thread: its id is the process's
    bool ok =
        // Reading the input and the files it names, opened for reading only.
        allow(filter, SCMP_SYS(openat), SCMP_A2(SCMP_CMP_MASKED_EQ, writingFlags, 0)) &&
        allow(filter, SCMP_SYS(read)) && allow(filter, SCMP_SYS(lseek)) && allow(filter, SCMP_SYS(newfstatat)) &&
        allow(filter, SCMP_SYS(close)) &&
        // The heap: the program break and anonymous mappings, never executable.
        allow(filter, SCMP_SYS(brk)) && allow(filter, SCMP_SYS(mmap), SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0)) &&
        allow(filter, SCMP_SYS(munmap)) &&
        // Locks and one-time initialisation in the C and C++ runtimes.
        allow(filter, SCMP_SYS(futex)) &&
        // abort(), which Assimp's failed assertions call: it unblocks
        // SIGABRT and raises it on this process, and on no other.
        allow(filter, SCMP_SYS(getpid)) && allow(filter, SCMP_SYS(gettid)) && allow(filter, SCMP_SYS(rt_sigprocmask)) &&
        allow(filter, SCMP_SYS(tgkill), SCMP_A0(SCMP_CMP_EQ, self)) && allow(filter, SCMP_SYS(exit_group)) &&
        allow(filter, SCMP_SYS(exit));
#ifndef SANDBOX_UNDER_ASAN
    // The result goes to the pipe and nowhere else.
    ok = ok && allow(filter, SCMP_SYS(write), SCMP_A0(SCMP_CMP_EQ, static_cast<scmp_datum_t>(resultFd)));
#else
    // AddressSanitizer's runtime also releases shadow memory (madvise),
    // switches to its own signal stack around calls it intercepts
    // (sigaltstack), and checks that memory is readable by writing it into
    // a pipe of its own (pipe2, then write to that pipe). The only other
    // writable descriptors are the result pipe and /dev/null.
    (void)resultFd;
    ok = ok && allow(filter, SCMP_SYS(write)) && allow(filter, SCMP_SYS(madvise)) &&
         allow(filter, SCMP_SYS(sigaltstack)) && allow(filter, SCMP_SYS(pipe2));
#endif
    // Refusals more telling than ENOSYS: a program being run is a sign of
    // a compromised importer and ends it; opening for writing is denied.
    ok = ok && seccomp_rule_add(filter, SCMP_ACT_KILL_PROCESS, SCMP_SYS(execve), 0) == 0 &&
         seccomp_rule_add(filter, SCMP_ACT_KILL_PROCESS, SCMP_SYS(execveat), 0) == 0;
    for (unsigned flag : {O_WRONLY, O_RDWR, O_CREAT, O_TRUNC, O_APPEND, tmpFile}) {
        ok = ok && seccomp_rule_add(filter, SCMP_ACT_ERRNO(EACCES), SCMP_SYS(openat), 1,
                                    SCMP_A2(SCMP_CMP_MASKED_EQ, flag, flag)) == 0;
    }
    return ok;
}

}  // namespace

bool enterSandbox(int resultFd, std::string *reason) {
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ERRNO(ENOSYS));
    if (filter == nullptr) {
        *reason = "cannot make a seccomp filter";
        return false;
    }
    bool ok = addAllowedCalls(filter, resultFd);
    int loaded = ok ? seccomp_load(filter) : 0;
    seccomp_release(filter);
    if (!ok || loaded != 0) {
        *reason = std::string("cannot load the seccomp filter") + (loaded != 0 ? ": " : "") +
                  (loaded != 0 ? std::strerror(-loaded) : "");
        return false;
    }
    return true;
}

std::string sandboxProtections() {
#ifndef SANDBOX_UNDER_ASAN
    std::string text = "imports run in a child process with capped time and address space";
#else
    std::string text =
        "imports run in a child process with capped time and allocations (no address-space cap "
        "under AddressSanitizer)";
#endif
    text += ", no capabilities, a seccomp allow-list";
    int version = landlockVersion();
    if (version > 0)
        text += ", and Landlock (ABI " + std::to_string(version) +
                ") letting them read only the input and the files "
                "it names";
    else
        text += "; this kernel has no Landlock, so what they may read is not confined";
    return text;
}
