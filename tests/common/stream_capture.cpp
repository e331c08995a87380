#include "stream_capture.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

// An anonymous in-memory file; the process stops if there is none, as
// nothing could be checked without it.
int temporaryFile() {
    int fd = memfd_create("bsv2-capture", 0);
    if (fd < 0) {
        std::perror("memfd_create");
        std::abort();
    }
    return fd;
}

std::string readBack(int fd) {
    std::string content;
    char chunk[4096];
    lseek(fd, 0, SEEK_SET);
    ssize_t got;
    while ((got = read(fd, chunk, sizeof chunk)) > 0) content.append(chunk, static_cast<std::size_t>(got));
    close(fd);
    return content;
}

}  // namespace

Redirection beginCapture() {
    std::fflush(nullptr);
    Redirection r{dup(1), dup(2), temporaryFile(), temporaryFile()};
    dup2(r.fileOut, 1);
    dup2(r.fileErr, 2);
    return r;
}

Captured endCapture(Redirection r) {
    std::fflush(nullptr);
    dup2(r.savedOut, 1);
    dup2(r.savedErr, 2);
    close(r.savedOut);
    close(r.savedErr);
    return Captured{readBack(r.fileOut), readBack(r.fileErr)};
}
