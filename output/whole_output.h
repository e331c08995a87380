// Writing an output file whole or not at all, in the place and with the
// permissions the file had.
#ifndef OUTPUT_WHOLE_OUTPUT_H
#define OUTPUT_WHOLE_OUTPUT_H

#include <functional>
#include <string>

// Writes a whole output to `path`; false, with the reason in *reason, when
// it cannot.
using OutputWriter = std::function<bool(const char *path, std::string *reason)>;

// Writes `output` through `write` to a temporary file beside it, syncs it to
// disk and renames it over `output`, so that readers see the old file or the
// new one, never part of one. The new file keeps the permission bits of the
// one it replaces (a new one gets 0666 less the umask). An output that is a
// symbolic link is written through: the file it leads to is replaced, the
// link stays. A device or a pipe cannot be replaced and is written to
// directly.
//   Returns true once the output is in place; false, with a one-line reason
//   in *reason, when it cannot be written (a directory, a link that leads
//   nowhere, no room, no permission): the output is then as it was and no
//   temporary file is left.
bool writeOutputWhole(const std::string &output, const OutputWriter &write, std::string *reason);

#endif
