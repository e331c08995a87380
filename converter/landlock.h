// Confining what a process may open with Landlock, the kernel's access
// control for unprivileged processes: a list of files it may read, and
// nothing else it may read, list, write, make, remove or execute.
#ifndef CONVERTER_LANDLOCK_H
#define CONVERTER_LANDLOCK_H

#include <string>
#include <vector>

// The Landlock ABI version the running kernel offers (1, 2, ...), or 0
// when it offers none (too old, or Landlock is off at boot).
int landlockVersion();

// Restricts the calling process, for good, to reading the regular files
// `readable` (descriptors opened with O_PATH; the caller still owns and
// closes them); a folder among them gets no rule, since one would open all
// below it. Every other file-system access the kernel's version can
// deny is denied: reading or listing anything else, writing, truncating,
// making, linking, renaming, removing and executing files. From version 4
// TCP binds and connects are denied too, and from version 6 signals to
// processes outside the restriction and abstract unix sockets. Needs
// PR_SET_NO_NEW_PRIVS set (or CAP_SYS_ADMIN). Descriptors already open
// keep working.
//   Returns true once in force; false, with the reason in *reason and the
//   process unchanged, when the kernel has no Landlock or refuses a step.
bool confineToReading(const std::vector<int> &readable, std::string *reason);

#endif
