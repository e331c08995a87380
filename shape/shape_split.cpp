// The second thread of a large file's read: it reads the triangle table from
// the file's end while the reading thread reads from the front, and its part
// is kept only where the two meet exactly (shape_split.h).
#include "shape_split.h"

#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "shape.h"

namespace bsv2_internal {

namespace {

// The helper's reads: as large as the scanner's, so that a meeting costs at
// most one such chunk read twice. Its lines are parsed in place, so zeros
// follow the chunk for the quick parser's lookahead.
const std::size_t kChunkBytes = kScanBufferSize;
const std::size_t kChunkPadding = kScanLookahead;
// The shortest line that holds a triangle: "0 0 0\n".
const std::size_t kMostLinesInChunk = kChunkBytes / 6 + 1;
// Enough for the helper's few frames, sanitizers included; far below the
// default, so that a process short of address space still gets the thread.
const std::size_t kHelperStackBytes = 256 * 1024;
// Triangles the reading thread claims at a time.
const long kClaimBatch = 4096;

std::atomic<bool> oneThreadOnly{false};
std::atomic<std::size_t> secondThreadBytes{kDefaultSecondThreadBytes};
std::atomic<long> helpersStarted{0}, helpersKept{0}, readsRepeated{0};
std::atomic<void (*)(int)> afterTwoThreadRead{nullptr};
std::atomic<bool> helperGoesFirst{false};

// Whitespace within a line.
inline bool isLineSpace(int c) { return c != '\n' && isScanSpace(c); }

// Reads the line at `p`, which ends at a newline or at `end` and has at
// least kScanLookahead readable bytes behind it, with the scanner's own
// parsers. Returns where the next line begins (`end` at the last). *kind
// says whether the line is blank, one triangle (its vertex numbers in
// `corners`, all below numVertices) or anything else.
enum LineKind { kBlankLine, kTriangleLine, kOtherLine };
const unsigned char *parseLine(const unsigned char *p, const unsigned char *end, unsigned numVertices, int corners[3],
                               LineKind *kind) {
    while (p < end && isLineSpace(*p)) p++;
    *kind = kOtherLine;
    if (p == end || *p == '\n') {
        *kind = kBlankLine;
    } else {
        // The writer's layout at once, any other number by number; each
        // number ends at whitespace, the line's end or the chunk's.
        const unsigned char *after = parseTriangle(p, corners);
        int c = after != nullptr ? 3 : 0;
        if (after != nullptr) p = after;
        for (; c < 3 && p < end; c++) {
            after = parseInteger(p, corners + c);
            if (after == nullptr || (after < end && !isScanSpace(*after))) break;
            for (p = after; p < end && isLineSpace(*p);) p++;
        }
        while (p < end && isLineSpace(*p)) p++;
        if (c == 3 && (p == end || *p == '\n') && cornersBelow(corners, numVertices)) *kind = kTriangleLine;
    }
    if (p == end) return end;
    const void *newline = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
    return newline == nullptr ? end : static_cast<const unsigned char *>(newline) + 1;
}

// Reads `length` bytes at `offset` whole; false when the file fails or ends
// first (it changed, and the reading thread will see for itself).
bool readAt(int fd, unsigned char *to, std::size_t length, std::uint64_t offset) {
    while (length > 0) {
        ssize_t got = pread(fd, to, length, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        to += got;
        length -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

// Takes the chunk [from, top) of the file, whose start may be part way
// through a line (the next chunk down reads that line) and whose end is a
// line's end, into `found`: the triangles of the lines after the last line
// that is neither blank nor a triangle. Returns how many; *stop is set when
// there was such a line, *lowerTop to where the next chunk down ends.
long readChunk(TriangleHelper *helper, std::uint64_t from, std::size_t length, bool *stop, std::uint64_t *lowerTop) {
    const unsigned char *chunk = helper->chunk;
    const unsigned char *end = chunk + length;
    const unsigned char *p = chunk;
    // The file's first line is the magic.
    *stop = from == 0;
    *lowerTop = from;
    if (from > 0) {
        const void *newline = std::memchr(chunk, '\n', length);
        // A line longer than a chunk is no triangle.
        if (newline == nullptr) {
            *stop = true;
            return 0;
        }
        p = static_cast<const unsigned char *>(newline) + 1;
        *lowerTop = from + static_cast<std::uint64_t>(p - 1 - chunk);
    }
    const unsigned numVertices = static_cast<unsigned>(helper->numVertices);
    long count = 0;
    while (p < end) {
        // The writer's lines take no more than the reading thread's loop.
        int *corners = helper->found + 3 * count;
        const unsigned char *after = parseTriangle(p, corners);
        if (after != nullptr && (after == end || *after == '\n') && cornersBelow(corners, numVertices)) {
            helper->foundStarts[count++] = static_cast<std::uint32_t>(p - chunk);
            p = after == end ? end : after + 1;
            continue;
        }
        LineKind kind;
        const unsigned char *line = p;
        p = parseLine(line, end, numVertices, corners, &kind);
        if (kind == kTriangleLine) {
            while (isLineSpace(*line)) line++;
            helper->foundStarts[count++] = static_cast<std::uint32_t>(line - chunk);
        } else if (kind == kOtherLine) {
            count = 0;
            *stop = true;
        }
    }
    return count;
}

// Claims the triangles just below the helper's part for the last `count`
// lines found in the chunk at `from`, as far as the reading thread has not
// claimed them, and copies them into the table. False when the helper is
// to stop: it met the reading thread, or was told to.
bool takeFound(TriangleHelper *helper, long count, std::uint64_t from) {
    if (count == 0) return !helper->cancelled.load(std::memory_order_relaxed);
    long top, taken;
    {
        std::lock_guard<std::mutex> hold(helper->lock);
        if (helper->cancelled.load(std::memory_order_relaxed)) return false;
        top = helper->low;
        taken = std::min(count, top - helper->frontier);
        if (taken <= 0) return false;
        helper->low = top - taken;
        helper->lowFrom = from + helper->foundStarts[count - taken];
    }
    // Outside the lock: these triangles are the helper's now, and the
    // reading thread looks at them only after joining it.
    std::memcpy(helper->table + 3 * (top - taken), helper->found + 3 * (count - taken), 3 * sizeof(int) * taken);
    return taken == count;
}

void *runHelper(void *argument) {
    TriangleHelper *helper = static_cast<TriangleHelper *>(argument);
    helper->began.store(true, std::memory_order_relaxed);
    std::uint64_t top = helper->fileSize;  // the lines still to read end here
    for (bool stop = false; !stop && !helper->cancelled.load(std::memory_order_relaxed);) {
        std::uint64_t from = top > kChunkBytes ? top - kChunkBytes : 0;
        std::size_t length = static_cast<std::size_t>(top - from);
        if (!readAt(helper->fd, helper->chunk, length, from)) break;
        std::memset(helper->chunk + length, 0, kChunkPadding);
        long count = readChunk(helper, from, length, &stop, &top);
        if (!takeFound(helper, count, from)) break;
    }
    return nullptr;
}

}  // namespace

int processorsToRunOn() {
#ifdef __EMSCRIPTEN__
    return 1;
#else
    cpu_set_t processors;
    // Where the set cannot be had, as if there were two.
    if (sched_getaffinity(0, sizeof processors, &processors) != 0) return 2;
    return CPU_COUNT(&processors);
#endif
}

namespace {

void releaseBuffers(TriangleHelper *helper) {
    std::free(helper->chunk);
    std::free(helper->found);
    std::free(helper->foundStarts);
    helper->chunk = nullptr;
    helper->found = nullptr;
    helper->foundStarts = nullptr;
}

}  // namespace

bool wantsSecondThread(int fd, struct stat *info) {
#ifdef __EMSCRIPTEN__
    // Built without threads.
    (void)fd;
    (void)info;
    return false;
#else
    if (oneThreadOnly.load(std::memory_order_relaxed) || fstat(fd, info) != 0) return false;
    if (!S_ISREG(info->st_mode) || info->st_size <= 0 ||
        static_cast<std::uint64_t>(info->st_size) < secondThreadBytes.load(std::memory_order_relaxed))
        return false;
    // A process held to one processor would only take turns with its helper.
    return processorsToRunOn() >= 2;
#endif
}

bool startTriangleHelper(TriangleHelper *helper, int fd, std::uint64_t fileSize, int *table, long numTris,
                         int numVertices) {
    helper->fd = fd;
    helper->fileSize = fileSize;
    helper->numVertices = numVertices;
    helper->numTris = numTris;
    helper->table = table;
    helper->frontier = 0;
    helper->low = numTris;
    helper->lowFrom = 0;
    helper->began.store(false);
    helper->cancelled.store(false);
    helper->running = false;
    helper->chunk = static_cast<unsigned char *>(std::malloc(kChunkBytes + kChunkPadding));
    helper->found = static_cast<int *>(std::malloc(kMostLinesInChunk * 3 * sizeof(int)));
    helper->foundStarts = static_cast<std::uint32_t *>(std::malloc(kMostLinesInChunk * sizeof(std::uint32_t)));
    if (helper->chunk == nullptr || helper->found == nullptr || helper->foundStarts == nullptr) {
        releaseBuffers(helper);
        return false;
    }
    pthread_attr_t attributes;
    int error = pthread_attr_init(&attributes);
    if (error == 0) {
        pthread_attr_setstacksize(&attributes, std::max<std::size_t>(kHelperStackBytes, PTHREAD_STACK_MIN));
        // The helper takes no signals: they stay the caller's threads' to handle.
        sigset_t all, callers;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &callers);
        error = pthread_create(&helper->thread, &attributes, runHelper, helper);
        pthread_sigmask(SIG_SETMASK, &callers, nullptr);
        pthread_attr_destroy(&attributes);
    }
    if (error != 0) {
        // No thread (a limit on processes, or on address space): one will do.
        releaseBuffers(helper);
        return false;
    }
    helper->running = true;
    helpersStarted.fetch_add(1, std::memory_order_relaxed);
    return true;
}

TriangleTableResult scanTrianglesWithHelper(Bsv2Scanner *scanner, TriangleHelper *helper) {
    if (helperGoesFirst.load(std::memory_order_relaxed)) {
        pthread_join(helper->thread, nullptr);
        helper->running = false;
    }
    // A helper that has not run while all the vertices were read found no
    // core free: it would only take turns with this thread, which reads on
    // alone, and finds it stopped when it joins it.
    if (!helper->began.load(std::memory_order_relaxed)) helper->cancelled.store(true, std::memory_order_relaxed);
    long done = 0;
    std::uint64_t helperFrom = 0;
    for (;;) {
        long batch = 0;
        {
            std::lock_guard<std::mutex> hold(helper->lock);
            if (helper->low == done) {
                helperFrom = helper->lowFrom;
            } else {
                batch = std::min(kClaimBatch, helper->low - done);
                helper->frontier = done + batch;
            }
        }
        if (batch == 0) break;
        TriangleTableResult result = scanTriangleTable(scanner, helper->table + 3 * done, batch, helper->numVertices);
        if (result != kTrianglesRead) return result;
        done += batch;
    }
    if (done == helper->numTris) return kTrianglesRead;
    // Past the whitespace that the next number would skip too: exactly where
    // the helper's lines begin, or the helper's part is not what reading on
    // would give.
    skipScanSpace(scanner);
    if (scanner->readError == 0 && scanOffset(*scanner) == helperFrom) {
        helpersKept.fetch_add(1, std::memory_order_relaxed);
        return kTrianglesRead;
    }
    // The helper may still be writing its last lines into the table.
    stopTriangleHelper(helper);
    return scanTriangleTable(scanner, helper->table + 3 * done, helper->numTris - done, helper->numVertices);
}

void stopTriangleHelper(TriangleHelper *helper) {
    if (helper->running) {
        helper->cancelled.store(true, std::memory_order_relaxed);
        pthread_join(helper->thread, nullptr);
        helper->running = false;
    }
    releaseBuffers(helper);
}

bool sameFileVersion(const struct stat &before, const struct stat &after) {
    return before.st_dev == after.st_dev && before.st_ino == after.st_ino && before.st_size == after.st_size &&
           before.st_mtim.tv_sec == after.st_mtim.tv_sec && before.st_mtim.tv_nsec == after.st_mtim.tv_nsec &&
           before.st_ctim.tv_sec == after.st_ctim.tv_sec && before.st_ctim.tv_nsec == after.st_ctim.tv_nsec;
}

void setSecondThreadBytes(std::size_t bytes) { secondThreadBytes.store(bytes); }

SecondThreadCounts secondThreadCounts() { return {helpersStarted.load(), helpersKept.load(), readsRepeated.load()}; }

void countReread() { readsRepeated.fetch_add(1, std::memory_order_relaxed); }

void setAfterTwoThreadRead(void (*call)(int fd)) { afterTwoThreadRead.store(call); }

void setHelperGoesFirst(bool first) { helperGoesFirst.store(first); }

void callAfterTwoThreadRead(int fd) {
    void (*call)(int) = afterTwoThreadRead.load();
    if (call != nullptr) call(fd);
}

}  // namespace bsv2_internal

void bsv2ReadOnOneThread(int oneThread) { bsv2_internal::oneThreadOnly.store(oneThread != 0); }
