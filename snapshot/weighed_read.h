// Reading a model as its header was weighed (claimed_counts.h), however the
// file changes meanwhile: a file another user may write can say one count
// when weighed and another when read, and the reader would then make tables
// of a size no budget looked at.
#ifndef SNAPSHOT_WEIGHED_READ_H
#define SNAPSHOT_WEIGHED_READ_H

#include <cstddef>
#include <string>

#include "claimed_counts.h"
#include "shape.h"

// Reads the model in the regular file open for reading as `fd`, whose
// header readClaimedCounts found to claim `counts` (known): the library's
// reader is given a header of those counts followed by the file's bytes
// after its own header, through a pipe fed by a thread, so that the tables
// it makes are the ones weighed. Where no pipe can be set up or named (no
// /proc), it reads `readFrom`, a path to the file itself.
//   Returns the shape (the caller's; release it with destroyShape), or null
//   with the reader's message, cause and system error as
//   readShapeFromFileWithCause gives them; a failed read of the file gives
//   BSV2_CAUSE_CANNOT_READ and its errno. Takes neither `fd` nor its offset.
Shape readWeighedModel(int fd, const ClaimedCounts &counts, const std::string &readFrom, char *message,
                       std::size_t messageSize, Bsv2Cause *cause, int *systemError);

#endif
