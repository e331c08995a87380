#include "weighed_read.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>
#include <thread>

#include "output_target.h"

namespace {

bool writeAll(int fd, const char *data, std::size_t size) {
    while (size > 0) {
        ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Writes the header, then the file's bytes from the tables on, to `pipe`,
// and closes it. A reader that has stopped reading (it has what it needs,
// or failed) ends the feed: SIGPIPE is held back in this thread, so the
// write fails with EPIPE instead of ending the process. *readError is the
// errno of a failed read of the file.
void feed(int fd, const ClaimedCounts &counts, int pipe, int *readError) {
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    std::string header = "BSV2\n" + std::to_string(counts.vertices) + "\n" + std::to_string(counts.triangles);
    bool open = writeAll(pipe, header.data(), header.size());
    char block[64 * 1024];
    for (off_t at = static_cast<off_t>(counts.tablesAt); open;) {
        ssize_t got = pread(fd, block, sizeof block, at);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) *readError = errno;
        if (got <= 0) break;
        at += got;
        open = writeAll(pipe, block, static_cast<std::size_t>(got));
    }
    close(pipe);
}

}  // namespace

Shape readWeighedModel(int fd, const ClaimedCounts &counts, const std::string &readFrom, char *message,
                       std::size_t messageSize, Bsv2Cause *cause, int *systemError) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return readShapeFromFileWithCause(readFrom.c_str(), message, messageSize, cause, systemError);
    std::string pipePath = descriptorPath(ends[0], "");
    int readError = 0;
    std::thread feeder;
    try {
        if (!pipePath.empty()) feeder = std::thread(feed, fd, counts, ends[1], &readError);
    } catch (const std::system_error &) {
        pipePath.clear();
    }
    if (pipePath.empty()) {
        // No /proc to name the pipe by, or no thread to be had.
        close(ends[0]);
        close(ends[1]);
        return readShapeFromFileWithCause(readFrom.c_str(), message, messageSize, cause, systemError);
    }
    Shape shape = readShapeFromFileWithCause(pipePath.c_str(), message, messageSize, cause, systemError);
    // No reader left: a feeder still writing stops.
    close(ends[0]);
    feeder.join();
    if (shape == nullptr && readError != 0) {
        *cause = BSV2_CAUSE_CANNOT_READ;
        *systemError = readError;
    }
    return shape;
}
