// Reading a large file's triangle table on a second thread, beside the
// thread that reads the counts and the vertices.
//
// The helper reads the file backwards from its end, a chunk at a time, and
// takes line after line that holds exactly one triangle as the scanner would
// read it (three integers in range, whitespace between), numbering them from
// the last triangle down. The reading thread claims triangles from the front
// in batches, and the two meet where neither has claimed. The helper's part
// stands only if the reading thread, past whitespace, is then exactly at the
// first byte of the helper's lowest line: reading on from there, it would
// have read those lines and nothing else as its remaining triangles. Anything
// else (another layout, a failure, text after the triangles, a line the
// helper does not take) leaves the rest to the reading thread, which reads it
// as it always did. The helper never decides an outcome; it only saves work.
//
// Internal to the Shape library.
#ifndef SHAPE_SHAPE_SPLIT_H
#define SHAPE_SHAPE_SPLIT_H

#include <pthread.h>
#include <sys/stat.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "bsv2_scan.h"

namespace bsv2_internal {

// Files smaller than this are read on one thread. A helper that finds a
// free core halves the time from about 1 MB on, but on a machine whose
// cores are busy it may wait a scheduling slice (2 to 4 ms, measured on a
// loaded two-core machine) before it runs and can be joined; below about
// 8 MB (7 ms of reading) that wait costs more than a busy machine's second
// core gives, above it two threads came out ahead even there.
const std::size_t kDefaultSecondThreadBytes = std::size_t{8} << 20;

// One read's helper. The reading thread sets it up with startTriangleHelper
// and must call stopTriangleHelper before it uses or releases the table.
struct TriangleHelper {
    // Set before the helper starts, read only afterwards.
    int fd;                  // the file, read with pread: its offset is the reading thread's
    std::uint64_t fileSize;  // as it was when the read began
    int numVertices;
    long numTris;
    int *table;  // the shape's triangle table, 3 * numTris vertex numbers

    // The helper's own: a chunk of the file with zeros behind it, and the
    // triangles of the chunk's lines, last first, with where each began.
    unsigned char *chunk;
    int *found;
    std::uint32_t *foundStarts;

    std::mutex lock;
    long frontier;            // under lock: triangles [0, frontier) are the reading thread's
    long low;                 // under lock: triangles [low, numTris) are the helper's
    std::uint64_t lowFrom;    // under lock: the file offset where triangle `low` begins
    std::atomic<bool> began;  // the helper has run
    std::atomic<bool> cancelled;

    pthread_t thread;
    bool running;  // started and not yet joined
};

// True when a file open as `fd` should be read with a helper: a regular
// file of at least the threshold's size, with second threads not switched
// off, in a process that may run on two processors or more. *info receives
// the file's status, to compare with afterwards.
bool wantsSecondThread(int fd, struct stat *info);

// How many processors this process may run on (1 where it cannot have
// threads).
int processorsToRunOn();

// Starts a helper for a table of `numTris` (positive) triangles of vertex
// numbers below `numVertices` in `table`, in the file `fd` of `fileSize`
// bytes. False, with nothing left to stop or release, when the thread or
// its buffers cannot be had; the read then goes on alone.
bool startTriangleHelper(TriangleHelper *helper, int fd, std::uint64_t fileSize, int *table, long numTris,
                         int numVertices);

// scanTriangleTable for the helper's table, with the helper reading from the
// end: the same result, the same triangles and the same place of failure.
// The scanner must be a file's, begun at offset 0.
TriangleTableResult scanTrianglesWithHelper(Bsv2Scanner *scanner, TriangleHelper *helper);

// Tells the helper to stop, waits until it has, and releases its buffers.
// Does nothing the second time.
void stopTriangleHelper(TriangleHelper *helper);

// True when two statuses of an open file show the same version of it: the
// same file, size and times of change.
bool sameFileVersion(const struct stat &before, const struct stat &after);

// For the library's tests: the file size from which a helper is started
// (kDefaultSecondThreadBytes unless set); whether the reading thread lets
// the helper finish before it reads any triangle, so that the helper's part
// is as large as it can be, whatever the two threads' speeds; what the
// helpers have done so far; and a call made after every read a helper took
// part in, before the file's status is looked at again (null for none).
void setSecondThreadBytes(std::size_t bytes);
void setHelperGoesFirst(bool first);
struct SecondThreadCounts {
    long started;  // helpers that ran
    long kept;     // reads whose triangles the helper's part completed
    long reread;   // reads done again on one thread, the file having changed
};
SecondThreadCounts secondThreadCounts();
void countReread();
void setAfterTwoThreadRead(void (*call)(int fd));
void callAfterTwoThreadRead(int fd);

}  // namespace bsv2_internal

#endif
