// The limits an untrusted importer runs under, in a child process of its
// own. Everything here is one-way: there is no leaving the sandbox.
#ifndef CONVERTER_SANDBOX_H
#define CONVERTER_SANDBOX_H

#include <string>

// The descriptor the child hands its result back on, once
// keepOnlyDescriptors has run.
const int kSandboxResultFd = 3;

// Caps the calling process's address space at `bytes` (RLIMIT_AS) and turns
// core dumps off. Under AddressSanitizer, whose shadow memory alone exceeds
// any such cap, only the core dumps are turned off.
//   Returns false, with the reason in *reason, when a limit cannot be set.
bool limitMemory(unsigned long long bytes, std::string *reason);

// Leaves the calling process with standard input, output and error on
// /dev/null, `resultFd` moved to kSandboxResultFd, and every other
// descriptor closed (those inherited from whoever started the program
// included).
//   Returns false, with the reason in *reason, when a step fails.
bool keepOnlyDescriptors(int resultFd, std::string *reason);

// Sets PR_SET_NO_NEW_PRIVS (nothing run later can gain privileges) and
// drops every capability, from the bounding set too when the process may:
// run as root, the process keeps its user but none of root's powers.
//   Returns false, with the reason in *reason, when a step fails.
bool dropPrivileges(std::string *reason);

// Loads a seccomp filter into the calling process that allows only the
// system calls an import needs: reading files (opened for reading only),
// memory, locks, abort() on itself, exiting, and writing to `resultFd`.
// Any other call fails with ENOSYS; opening for writing fails with EACCES;
// executing a program kills the process. Call it last: nothing else can be
// set up afterwards.
//   Returns false, with the reason in *reason, when the filter cannot be
//   made or loaded; the process is then unchanged.
bool enterSandbox(int resultFd, std::string *reason);

// One line saying which protections an isolated import gets on this
// machine, for --version: the caps, the seccomp allow-list, and Landlock or
// its absence.
std::string sandboxProtections();

#endif
