// Importing an untrusted mesh file where Assimp cannot harm the user: in a
// child process with its memory and time capped, no privileges and no
// descriptor but its pipe, allowed to read only the input and the files it
// names (Landlock) and to make only the system calls an import needs
// (seccomp), handing the mesh back over a pipe whose stream the parent
// bounds and checks.
#ifndef CONVERTER_IMPORT_ISOLATED_H
#define CONVERTER_IMPORT_ISOLATED_H

#include <string>

#include "mesh_convert.h"
#include "shape.h"

struct ImportLimits {
    double seconds;                // wall-clock time the import may take
    unsigned long long memoryMiB;  // address space of the child process, in MiB
};

// The defaults for an input of `inputBytes`: 10 s plus 1 s per MB, and
// 1 GiB plus 16 times the input's size, but never more than the machine's
// physical memory.
ImportLimits defaultImportLimits(unsigned long long inputBytes);

// Imports `path` with importMesh in a child process under `limits`. Call it
// before the process starts any thread, since only the calling thread lives
// on in the child. While the child works, a progress line labelled
// `progressLabel` shows what it reports (see progress.h).
//   Returns: a new shape (release it with destroyShape), with *leftOut
//   filled; or null with a one-line reason in *reason: the importer's own,
//   or what stopped the child ("importer crashed (signal 6)", "needs more
//   than N MiB of memory; ...", "took longer than N s; ...", "the importer
//   sent more than a result can hold"). A child that outlives its time or
//   sends too much is killed; nothing of it survives the call.
Shape importIsolated(const char *path, const ImportLimits &limits, const char *progressLabel, LeftOut *leftOut,
                     std::string *reason);

#endif
