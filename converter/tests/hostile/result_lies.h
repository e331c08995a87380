// What code a hostile mesh file got to run inside an importer could send
// back in place of an honest result: endless streams, a status meant to be
// taken for the converter's verdict, text meant for the user's terminal, a
// claim about memory, silence, or a mesh far larger than its input. Each
// ends the child's part its own way; the converter must give a verdict of
// its own, in bounded time and memory.
#ifndef CONVERTER_TESTS_HOSTILE_RESULT_LIES_H
#define CONVERTER_TESTS_HOSTILE_RESULT_LIES_H

#include <string>

// True when `name` is one of the lies below.
bool isResultLie(const std::string &name);

// Acts out the lie called `name` on the import's result pipe `fd`, and ends
// the process (or never returns):
//   flood-after-mesh      a well-formed frame of a one-triangle mesh, then more without end
//   flood-progress        progress frames without end
//   exit-86               no frame at all, exit status 86
//   mesh-then-exit-87     a one-triangle mesh (3 vertices), then exit status 87
//   reason-with-controls  a reason holding C0, C1 (as bytes and as UTF-8), DEL,
//                         bidirectional controls, invisible characters and invalid UTF-8 (kHostileReason)
//   claim-out-of-memory   what a failed allocation does: calls the new-handler
//   hang                  waits for ever, taking no processor time
//   mesh-of-1-gib         a valid mesh of 1 GiB of tables, from a 64 KiB buffer
// Returns only for a name it does not know.
void lieOnResultPipe(const std::string &name, int fd);

// The reason reason-with-controls sends, and what the converter must make
// of it for the terminal.
extern const char kHostileReason[];
extern const char kHostileReasonShown[];

// The bytes of mesh-of-1-gib's tables.
const unsigned long long kGiBMeshBytes = 12ULL * 2 * 44739241;

#endif
