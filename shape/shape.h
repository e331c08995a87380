// The Shape library: a triangle mesh in memory, and the BSV2 text files it
// is stored in.
//
// A BSV2 file is "BSV2" on its first line, then whitespace-separated numbers:
// the vertex count V (at least 1), the triangle count T, V vertices of three
// coordinates each, and T triangles of three vertex numbers each (counting
// from 0 in the order of the vertices). Text after the last triangle is
// ignored.
//
// Every function here is synchronous, keeps no state between calls (but
// for the switch bsv2ReadOnOneThread sets) and is safe to call from any
// thread, several at once, on distinct shapes. Reading a large regular file
// (8 MiB or more) may use a second thread, for the triangles, beside the
// calling one: it is started and ended within the call, takes no signals,
// and the results, messages and causes are those of a read on one thread.
// Where it cannot be started (a limit on processes or on address space),
// the read goes on on the calling thread alone. Pipes, other files that are
// not regular, small files and text in memory are read on the calling
// thread only. The reader scans through
// a buffer of 64 KiB on the heap and the writer through one of 256 KiB,
// whatever the size of the file (4 KiB and 16 KiB on the calling thread's
// stack should that allocation fail); both are released before they return.
// Neither needs more than about 20 KiB of stack. Text in memory is read
// through the same buffer, and written into one that grows to hold it. A
// second thread has a stack of 256 KiB and about 240 KiB of buffers on the
// heap, all released before the read returns.
//
// The header is C99 and C++; the library is written in C++, so a C program
// linking the static library links the C++ runtime too (pkg-config's
// `--libs bsv2` says so).
#ifndef SHAPE_SHAPE_H
#define SHAPE_SHAPE_H

#include <stddef.h>

#include "bsv2_version.h"

#ifdef __cplusplus
extern "C" {
#endif

// One triangle mesh. The tables are flat arrays of scalars: every reader
// indexes them as 3 * number + component.
struct Shape_Typ {
    int numVertices;  // vertices in vTable; negative only if a caller made it so
    float *vTable;    // 3 * numVertices floats: vertex k is x, y, z at [3k], [3k+1], [3k+2];
                      // null when numVertices <= 0 or its allocation failed
    int *tTable;      // 3 * numTris vertex numbers: triangle j's corners at [3j], [3j+1], [3j+2];
                      // null when numTris <= 0 or its allocation failed
    int numTris;      // triangles in tTable; may be negative (then there is no table)
};

// The handle every operation takes or returns; null means "no shape".
typedef struct Shape_Typ *Shape;

// createShape: makes a shape with room for numVertices vertices and numTris
// triangles. The table contents are not initialised: the caller fills them.
//   Takes:   the two counts, any values. A count of 0 gives no table (null)
//            and is not a failure.
//   Returns: a new shape owned by the caller, to be released with
//            destroyShape. Both counts are stored as given, whatever else
//            happens.
//   Fails:   when a table cannot be allocated (a negative count, a size in
//            bytes that cannot be represented, or no memory), that table is
//            left null, "ahhh\n!" is written to standard output (with no
//            newline after the '!') and the shape is still returned: the
//            caller must check the tables of positive counts before use.
//            When the record itself cannot be allocated, the same message is
//            written and the result is null.
Shape createShape(int numVertices, int numTris);

// destroyShape: releases the shape and both its tables.
//   Takes:   a shape from createShape or readShapeFromFile, or null (then it
//            does nothing). The handle dangles afterwards.
//   Fails:   never.
void destroyShape(Shape shape);

// numTriangles: the shape's triangle count, numTris, as stored (it may be
// negative; loops over triangles run while the index is below it).
//   Takes:   a shape, not null.
int numTriangles(Shape shape);

// readShapeFromFile: reads a BSV2 file into a new shape.
//   Takes:   the path of the file.
//   Returns: a shape owned by the caller (release it with destroyShape) whose
//            counts are those of the file, whose tables are present for every
//            positive count and fully read, and whose every vertex number is
//            in 0 .. numVertices - 1. A negative triangle count is kept, with
//            no triangle table.
//   Fails:   returns null, having written exactly one message, releasing
//            everything it made and closing the file:
//              file cannot be opened           "Read error!\n"
//              input ends before the magic,    "File Read error!!\n"
//                or the triangle count is not a 32-bit number
//              first line is not "BSV2"        "File is not BSV2 format!\n"
//              vertex count below 1, or not    "You can't have less than 0 vertices!"
//                a 32-bit number                 (no newline)
//              input ends before the vertex    "File Read error!!\n"
//                count
//              a vertex is short or malformed  "Read error in vTable read\n"
//              a triangle is short or has a    "Read error in tTable read\n"
//                field that is not a 32-bit number
//              a vertex number outside         "Vertex number out of range in tTable read\n"
//                0 .. V - 1
//            All of these go to standard error. A table that cannot be
//            allocated gives createShape's message on standard output.
//   Threads: a regular file of 8 MiB or more may be read with a second
//            thread (see the top of this header). Should its size or times
//            of change differ after such a read, it is read again on the
//            calling thread, so that parts of two versions of a file are
//            never put together; the functions below read files the same
//            way.
Shape readShapeFromFile(const char *fileName);

// writeShapeToFile: writes the shape as a BSV2 file, creating or truncating
// it: "BSV2", the counts, then one line per vertex with "%f %f %f" and one
// per triangle with "%d %d %d" (numTriangles of them).
//   Takes:   the shape and the path; neither is changed or kept.
//   Returns: 0 on success.
//            1 when the shape or the file name is null, or when the shape
//              lacks a table for a positive count (its allocation failed);
//              no message, and no file is created.
//            2 when the file cannot be opened for writing:
//              "Unable to open %s for writing.\n" on standard error.
//            3 when writing or closing the file fails (a full disk):
//              "Unable to write %s.\n" on standard error. What was written
//              stays in the file.
int writeShapeToFile(Shape shape, const char *fileName);

// readShapeFromFileReporting: readShapeFromFile without printing anything:
// the text it would have printed is handed to the caller instead.
//   Takes:   the path; a buffer `message` of `messageSize` bytes owned by
//            the caller (may be null when messageSize is 0); and
//            `allocationFailed` (may be null).
//   Returns: what readShapeFromFile returns, and the same shape.
//   Fails:   as readShapeFromFile. `message` receives the exact text that
//            readShapeFromFile prints on standard error ("" when none), cut
//            to messageSize - 1 bytes when longer and always terminated
//            (unless messageSize is 0). *allocationFailed is set to 1 when
//            readShapeFromFile would print createShape's "ahhh\n!" on
//            standard output (a table could not be allocated; a negative
//            triangle count always does this, and the read may still
//            succeed), to 0 otherwise.
Shape readShapeFromFileReporting(const char *fileName, char *message, size_t messageSize, int *allocationFailed);

// writeShapeToFileReporting: writeShapeToFile without printing anything.
//   Takes:   the shape, the path, and a buffer `message` of `messageSize`
//            bytes owned by the caller (may be null when messageSize is 0).
//   Returns: what writeShapeToFile returns (0, 1, 2 or 3), writing the file
//            the same way.
//   Fails:   as writeShapeToFile; the text it would print on standard error
//            ("Unable to open ... for writing.\n", "Unable to write ...\n")
//            is in `message` instead, cut to messageSize - 1 bytes when
//            longer and always terminated (unless messageSize is 0); "" when
//            there is none.
int writeShapeToFileReporting(Shape shape, const char *fileName, char *message, size_t messageSize);

// Why a read or a write failed, for programs that act on the cause rather
// than show the message (since version 1.1). Each message of the reader and
// the writer has its cause; a cause with a system error number (errno) says
// so.
typedef enum Bsv2Cause {
    BSV2_CAUSE_NONE = 0,             // nothing failed
    BSV2_CAUSE_CANNOT_OPEN,          // "Read error!\n" or "Unable to open %s for writing.\n"; errno
    BSV2_CAUSE_CANNOT_READ,          // reading failed part way (a directory, an I/O error); errno.
                                     //   The message is the one for the point it failed at.
    BSV2_CAUSE_ENDS_EARLY,           // "File Read error!!\n": the input ends before the magic or the vertex count
    BSV2_CAUSE_NOT_BSV2,             // "File is not BSV2 format!\n"
    BSV2_CAUSE_BAD_VERTEX_COUNT,     // "You can't have less than 0 vertices!"
    BSV2_CAUSE_BAD_TRIANGLE_COUNT,   // "File Read error!!\n": the triangle count is missing or not a 32-bit number
    BSV2_CAUSE_BAD_VERTEX,           // "Read error in vTable read\n"
    BSV2_CAUSE_BAD_TRIANGLE,         // "Read error in tTable read\n"
    BSV2_CAUSE_VERTEX_OUT_OF_RANGE,  // "Vertex number out of range in tTable read\n"
    BSV2_CAUSE_NO_MEMORY,            // a table cannot be allocated (no message; createShape's text)
    BSV2_CAUSE_BAD_ARGUMENT,         // the writer's status 1: a null shape or name, or a missing table
    BSV2_CAUSE_CANNOT_WRITE          // "Unable to write %s.\n": writing or closing failed; errno
} Bsv2Cause;

// readShapeFromFileWithCause: readShapeFromFileReporting, with the cause.
//   Takes:   the path; `message` and `messageSize` as for
//            readShapeFromFileReporting; `cause` and `systemError` (either
//            may be null) for the cause and its errno value.
//   Returns: what readShapeFromFile returns.
//   Fails:   as readShapeFromFile; *cause says why (BSV2_CAUSE_NONE on
//            success, a negative triangle count included), *systemError
//            holds the errno value for BSV2_CAUSE_CANNOT_OPEN and
//            BSV2_CAUSE_CANNOT_READ, 0 otherwise. Nothing is printed.
Shape readShapeFromFileWithCause(const char *fileName, char *message, size_t messageSize, Bsv2Cause *cause,
                                 int *systemError);

// writeShapeToFileWithCause: writeShapeToFileReporting, with the cause.
//   Takes:   as writeShapeToFileReporting, and `cause` and `systemError`
//            (either may be null).
//   Returns: what writeShapeToFile returns (0, 1, 2 or 3).
//   Fails:   as writeShapeToFile; *cause is BSV2_CAUSE_NONE for 0,
//            BSV2_CAUSE_BAD_ARGUMENT for 1, BSV2_CAUSE_CANNOT_OPEN for 2 and
//            BSV2_CAUSE_CANNOT_WRITE for 3, *systemError the errno value for
//            the last two (0 otherwise). Nothing is printed.
int writeShapeToFileWithCause(Shape shape, const char *fileName, char *message, size_t messageSize, Bsv2Cause *cause,
                              int *systemError);

// bsv2CauseText: a short English text saying what a cause means, for the
// reason a program gives beside a file's name (since version 1.2). The
// message of the read or write stays the format's own; this text does not
// replace it where the message is wanted byte for byte.
//   Takes:   any value, a Bsv2Cause of this library or not.
//   Returns: a static text, lower case, without a newline or a closing full
//            stop: never null, never empty, and a different one for each
//            cause ("unknown cause" for a value that is none). It is not to
//            be released and stays valid while the library is loaded.
//   Fails:   never.
const char *bsv2CauseText(Bsv2Cause cause);

// readShapeFromMemory: reads BSV2 text that is already in memory into a new
// shape, as readShapeFromFileWithCause reads a file holding the same bytes
// (since version 1.2).
//   Takes:   `size` bytes at `text` (any bytes, NULs included; not changed
//            or kept; null only when size is 0, which is an empty input);
//            `message` and `messageSize` as for readShapeFromFileReporting;
//            `cause` (may be null).
//   Returns: what readShapeFromFile would return for a file of these bytes:
//            a shape owned by the caller, to be released with destroyShape.
//   Fails:   returns null with the message and the cause that
//            readShapeFromFileWithCause gives for such a file (never
//            BSV2_CAUSE_CANNOT_OPEN or BSV2_CAUSE_CANNOT_READ), or
//            BSV2_CAUSE_BAD_ARGUMENT and no message when text is null and
//            size is not 0. Counts larger than the rest of the input can
//            hold (every number takes a byte) are not allocated: such a
//            read fails as the file reader's does once the input runs out
//            in that table ("Read error in vTable read\n" or "... tTable
//            ..."), rather than with BSV2_CAUSE_NO_MEMORY, so that a few
//            bytes never make it ask for more memory than about four times
//            their number. Nothing is printed.
Shape readShapeFromMemory(const char *text, size_t size, char *message, size_t messageSize, Bsv2Cause *cause);

// writeShapeToMemory: the text writeShapeToFile would write for the shape,
// in memory (since version 1.2).
//   Takes:   the shape (not changed or kept); `text` and `size`, where the
//            text's address and length go; `cause` (may be null).
//   Returns: 0 with *text pointing to *size bytes (not NUL-terminated),
//            owned by the caller and released with releaseShapeText.
//            1 when the shape, text or size is null, or the shape lacks a
//              table for a positive count: BSV2_CAUSE_BAD_ARGUMENT.
//            3 when there is no memory for the text: BSV2_CAUSE_NO_MEMORY.
//   Fails:   with 1 or 3, *text is null and *size 0 (where they are not
//            null), and nothing is kept. Nothing is printed.
int writeShapeToMemory(Shape shape, char **text, size_t *size, Bsv2Cause *cause);

// releaseShapeText: releases a text from writeShapeToMemory, with the
// allocator that made it (which need not be the caller's).
//   Takes:   such a text, or null (then it does nothing).
//   Fails:   never.
void releaseShapeText(char *text);

// bsv2ReadOnOneThread: for programs that must not start threads (a
// sandbox that forbids them, a process about to fork), makes every read
// that begins after it, in any thread of the process, run on its calling
// thread alone; or, with 0, lets large files be read with a second thread
// again, as they are by default (since version 1.2).
//   Takes:   nonzero for one thread only, 0 for the default.
//   Fails:   never. Reads already under way are not changed.
void bsv2ReadOnOneThread(int oneThread);

#ifdef __cplusplus
}
#endif

#endif
