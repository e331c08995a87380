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

// The defaults for the input at `path`, by the bytes it occupies (its size,
// but no more than its allocated blocks, so that a sparse file counts only
// what it holds): 10 s plus 1 s per MB, at most 10 minutes, and 1 GiB plus
// 16 times those bytes, at most half the machine's physical memory. An
// input that cannot be looked at counts as empty (the import then fails
// to open it, and says so).
ImportLimits defaultImportLimits(const char *path);

// Imports `path` with importMesh in a child process under `limits`. Call it
// before the process starts any thread, since only the calling thread lives
// on in the child. While the child works, a progress line labelled
// `progressLabel` shows what it reports (see progress.h).
//   Returns: a new shape (release it with destroyShape), with *leftOut
//   filled; or null with a one-line reason in *reason: the importer's own
//   (made safe for a terminal), or what the parent saw stop the child
//   ("importer crashed (signal 6)", "took longer than N s; ...", "the
//   importer sent more than a result can hold"), "the importer says it ran
//   out of memory (its cap is N MiB); ..." when the child reports so, or
//   "importer ended without a result (status N)", N being the child's exit
//   status (1 when its sandbox could not be set up, 2 when its pipe did not
//   take the outcome). The child's exit status alone never decides. A
//   child that outlives its time or sends too much is killed; nothing of
//   it survives the call. The mesh is received
//   straight into the shape's tables: the parent holds it once.
Shape importIsolated(const char *path, const ImportLimits &limits, const char *progressLabel, LeftOut *leftOut,
                     std::string *reason);

#endif
