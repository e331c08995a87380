// Writing an output file the user named, by the one rule every program of
// the project follows: the output is written whole or not at all, it is
// never one of the program's inputs, links are followed only as the kernel's
// protected_symlinks rule would follow them (output_target.h), only the
// permission bits of a replaced file carry over, and a reader that goes away
// is a failure like any other.
#ifndef OUTPUT_WHOLE_OUTPUT_H
#define OUTPUT_WHOLE_OUTPUT_H

#include <functional>
#include <string>
#include <vector>

#include "output_target.h"

// What an output may not replace.
struct OutputRules {
    // Files the output may not be (the same device and inode, through any
    // name, link or hard link); one that does not exist is left out.
    std::vector<std::string> inputs;
    // When not empty: an existing regular file that is not empty is
    // replaced only when it starts with these bytes (a file of the kind the
    // program writes), so that a file given in the wrong place is not lost.
    std::string signature;
    std::string kind;  // what such files are, for the message: "a PNG file"
    // When true, writeOutput keeps note of the write under way so that
    // abandonOutputWrite can undo it from a signal handler (a time limit).
    // One such write at a time in a process.
    bool undoableFromSignal = false;
};

// Writes a whole output to `path` (a path that opens the file to write,
// such as /proc/self/fd/5), creating or truncating it; false, with a
// one-line reason in *reason, when it cannot.
using OutputWriter = std::function<bool(const char *path, std::string *reason)>;

// Finds the output (findOutput) and checks it against `rules`, so that a
// program can refuse it before it does its work.
//   Returns true with *target filled (release it with releaseOutput); false
//   with *error filled (kCannotOpen, kLinkRefused, kIsAnInput,
//   kWouldLoseData) and nothing held.
bool prepareOutput(const std::string &path, const OutputRules &rules, OutputTarget *target, OutputError *error);

// Checks the target against `rules` again, as it is now, then writes it
// through `write`. Another user's file in a world-writable sticky folder is
// not replaced (the kernel's protected_regular rule), unless it is the
// folder owner's. A name in a folder is written to a temporary file beside
// it (created with O_EXCL relative to the folder's descriptor), synced to
// disk, given the permission bits (0777) of the file it replaces, or 0666
// less the umask, and renamed over the name, so that readers see the old
// file or the new one, never part of one; set-user-ID, set-group-ID and
// sticky bits never carry over, and the new file belongs to whoever writes
// it. One exception: an empty regular file that belongs to the caller, has
// one link and no set-user-ID, set-group-ID or sticky bit, and was named
// directly (not through a link), is written where it is and synced, since
// whoever made it may hold it open and read the output through that
// descriptor (as thumbnail services do); should that fail, it is emptied
// again. A pipe, a device or a file reached through /proc is written to
// directly; SIGPIPE is held back meanwhile, so that a reader that goes away
// is reported rather than ending the process.
//   Returns true once the output is in place. False with *error filled when
//   a rule refuses it, no temporary file can be made beside it (kCannotOpen),
//   `write`, the sync or the rename fails (kCannotWrite, with the writer's
//   reason, systemError 0 when it came from the writer), or the reader of a
//   pipe went away (kReaderGone, "the reader of the output went away"): the
//   output is then as it was (an empty file written in place is empty
//   again), and no temporary file is left.
bool writeOutput(const OutputTarget &target, const OutputRules &rules, const OutputWriter &write, OutputError *error);

// Undoes the write under way of writeOutput called with
// rules.undoableFromSignal, for a signal handler that ends the process:
// removes its temporary file, or empties the file it writes in place. Does
// nothing outside such a write, or for a pipe or device (what was written
// there cannot be taken back). Async-signal-safe.
void abandonOutputWrite();

// For a program that writes its output with rules.undoableFromSignal: lets
// SIGINT, SIGTERM and SIGHUP end the process as they would, but only once
// abandonOutputWrite has undone the write under way, so that an interrupted
// run (Ctrl-C, a host that gives up on it) leaves no temporary file and no
// part of an output behind. A signal the process ignores or handles already
// is left as it is. Call it before any thread starts, as it sets handlers
// for the whole process.
void abandonOutputOnTermination();

// prepareOutput and writeOutput in one, for a program with nothing to do
// in between.
bool writeOutputWhole(const std::string &path, const OutputRules &rules, const OutputWriter &write, OutputError *error);

#endif
