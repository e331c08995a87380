// The limits an untrusted importer runs under, in a child process of its
// own. Everything here is one-way: there is no leaving the sandbox.
#ifndef TOOLS_SANDBOX_H
#define TOOLS_SANDBOX_H

#include <string>

// Caps the calling process's address space at `bytes` (RLIMIT_AS) and turns
// core dumps off. Under AddressSanitizer, whose shadow memory alone exceeds
// any such cap, only the core dumps are turned off.
//   Returns false, with the reason in *reason, when a limit cannot be set.
bool limitMemory(unsigned long long bytes, std::string *reason);

// Loads a seccomp filter into the calling process (and any thread it starts
// later): reading files stays allowed; executing a program kills the
// process; sockets, opening a file for writing, creating, removing or
// renaming files, and openat2 (whose flags a filter cannot see) fail with an
// error. Descriptors opened before the call keep working.
//   Returns false, with the reason in *reason, when the filter cannot be
//   made or loaded; the process is then unchanged.
bool enterSandbox(std::string *reason);

#endif
