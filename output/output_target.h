// Finding where an output the user named goes, as the kernel would find it,
// but with every symbolic link judged as the kernel's protected_symlinks
// rule judges it, whatever that setting is on this machine, and the place
// held by descriptors, so that nothing can be swapped in between the check
// and the write.
#ifndef OUTPUT_OUTPUT_TARGET_H
#define OUTPUT_OUTPUT_TARGET_H

#include <sys/stat.h>

#include <string>

// Why an output was not written.
enum class OutputFailure {
    kNone,
    kCannotOpen,     // its folder cannot be reached, it is a directory or a link to nothing, no file can be made
    kLinkRefused,    // a link, pipe or file of another user in a world-writable sticky folder
    kIsAnInput,      // it is one of the program's inputs
    kWouldLoseData,  // it holds something else than the program writes (OutputRules::signature)
    kCannotWrite,    // writing, syncing or renaming it failed (no room, no permission, ...)
    kReaderGone      // it is a pipe whose reader went away
};

struct OutputError {
    OutputFailure failure = OutputFailure::kNone;
    int systemError = 0;  // the errno value behind it, 0 when there is none
    std::string reason;   // one line, without the output's name
};

// Where an output goes: a name in a folder, or a file written to directly.
struct OutputTarget {
    int folder = -1;           // O_PATH descriptor of the folder the output's name is in
    std::string folderPath;    // that folder as a path without links, for messages and systems without /proc
    std::string name;          // the output's name in that folder
    int direct = -1;           // O_PATH descriptor of a pipe, device or open file (through /proc) written
                               // to directly, in place; -1 for a name in a folder
    bool throughLink = false;  // the name was reached through a symbolic link
};

// Finds where `path` leads, walking it one component at a time. A symbolic
// link is followed only where the kernel's protected_symlinks rule would
// follow it: in a folder that is world-writable and sticky (such as /tmp),
// only when the link belongs to the caller or to the folder's owner;
// anywhere else always. Every link of a chain is judged in the folder it
// sits in. Links in /proc (such as /dev/stdout's /proc/self/fd/1) are
// followed by the kernel, as they lead to open files rather than names.
// A pipe in a world-writable sticky folder is judged the same way (the
// kernel's protected_fifos rule).
//   Returns true with *target filled (the caller releases it with
//   releaseOutput): a name that exists or not in a reachable folder, or a
//   direct target (a pipe, a device, or a file reached through /proc).
//   False with *error filled when the folder cannot be reached, the output
//   is a directory or a link to nothing, or a link is refused (naming the
//   link); nothing is then held.
bool findOutput(const std::string &path, OutputTarget *target, OutputError *error);

// Closes the descriptors `target` holds; it can be released twice.
void releaseOutput(OutputTarget *target);

// What is at the target now: the file it names (not following a link that
// may have been put there since) or the direct target.
//   Returns 0 with *info filled, or -1 with errno set (ENOENT: no such name).
int statOutput(const OutputTarget &target, struct stat *info);

// The kernel's protected_symlinks, protected_fifos and protected_regular
// rule: whether `entry`, found in the folder open as `folder`, may be used.
// Always, unless the folder is world-writable and sticky (such as /tmp) and
// the entry belongs neither to the caller nor to the folder's owner. False
// when the folder cannot be looked at.
bool mayUseInFolder(int folder, const struct stat &entry);

// A path that opens the file behind `descriptor` itself:
// /proc/self/fd/N, or `fallback` where /proc is not mounted.
std::string descriptorPath(int descriptor, const std::string &fallback);

#endif
