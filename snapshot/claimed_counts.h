// The counts a BSV2 file's header claims, read before the library's reader
// is given the file, so that they can be weighed against the file's length
// and a budget before anything is allocated for them.
#ifndef SNAPSHOT_CLAIMED_COUNTS_H
#define SNAPSHOT_CLAIMED_COUNTS_H

struct ClaimedCounts {
    bool known = false;        // false: not a header the reader accepts (the reader then says why)
    long long vertices = 0;    // at least 1 when known
    long long triangles = 0;   // may be negative when known (the file then has no triangle table)
    long long tablesAt = 0;    // where the bytes after the triangle count begin
    long long tableBytes = 0;  // the bytes of the file after the triangle count
};

// Reads the header of the regular file open as `fd` (from its start, with
// pread, leaving the descriptor's offset alone) as the library's reader
// reads it: "BSV2" as the first four bytes of the first line, then the
// vertex count (1 or more) and the triangle count, whole numbers that fit
// in an int, optionally signed, after white space. `fileSize` is the
// file's length in bytes.
//   Returns the counts, or known == false when the header is not such a
//   header or cannot be read (the reader will give its own reason).
ClaimedCounts readClaimedCounts(int fd, long long fileSize);

// Whether the tables the counts claim can fit in the bytes after them.
// Each number takes at least two bytes: a character of its own and a space,
// sign or point that parts it from the number before (a number ending in a
// letter, such as "inf", takes three or more, which pays for a digit right
// after it), so a file of fewer than 2 * 3 * (vertices + triangles) bytes
// there cannot hold them.
//   Takes known counts; a negative triangle count needs no table.
bool countsFitTheFile(const ClaimedCounts &counts);

#endif
