// The reason a tool gives beside a file's name when the library refuses to
// read it, the same in every tool.
#ifndef PROGRAM_READ_REASON_H
#define PROGRAM_READ_REASON_H

#include <string>

#include "shape.h"

// One line: the reader's own message (from readShapeFromFileWithCause),
// without its line ends, where the reader gave one, and otherwise the
// library's text for the cause (bsv2CauseText: a table that cannot be
// allocated has no message); then " (" and the system's text for
// `systemError` ")" when it is not 0.
//   Takes:   the message, the cause and the errno value the reader filled
//            in; `message` may be null.
//   Returns: the reason, never empty.
std::string readReason(const char *message, Bsv2Cause cause, int systemError);

#endif
