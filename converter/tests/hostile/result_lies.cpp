#include "result_lies.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <new>

// ESC [ 31m in C0, CSI (9B) and OSC (9D) in C1 as UTF-8, a raw CSI byte, a
// bell, DEL, right-to-left override and isolate, an overlong '/', a byte
// that is never UTF-8, a cut sequence; and a letter that is valid UTF-8.
const char kHostileReason[] =
    "red\x1b[31m \xc2\x9b"
    "31m \xc2\x9d"
    "0;title\x07 \x9b"
    "2J \x7f \xe2\x80\xae"
    "gpj.exe \xe2\x81\xa6 \xc0\xaf \xff zw\xe2\x80\x8bsp\xef\xbb\xbf\xe2\x80\xa8 caf\xc3\xa9 \xe2\x80";
const char kHostileReasonShown[] =
    "red [31m  31m  0;title  \xef\xbf\xbd"
    "2J    gpj.exe   \xef\xbf\xbd\xef\xbf\xbd \xef\xbf\xbd zw sp   caf\xc3\xa9 \xef\xbf\xbd";

namespace {

const char *const kLies[] = {"flood-after-mesh",     "flood-progress",      "exit-86", "mesh-then-exit-87",
                             "reason-with-controls", "claim-out-of-memory", "hang",    "mesh-of-1-gib"};

char zeros[64 * 1024];

bool writeAll(int fd, const void *data, std::size_t size) {
    const char *bytes = static_cast<const char *>(data);
    while (size > 0) {
        ssize_t written = write(fd, bytes, size);
        if (written <= 0) return false;
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool sendHeader(int fd, char tag, std::uint64_t length) {
    return writeAll(fd, &tag, 1) && writeAll(fd, &length, sizeof length);
}

// A mesh frame's header and counts; its tables are for the caller to send.
bool sendMeshHead(int fd, std::int64_t numVertices, std::int64_t numTris) {
    std::int64_t counts[4] = {numVertices, numTris, 0, 0};
    return sendHeader(fd, 'm', sizeof counts + 12 * (numVertices + numTris)) && writeAll(fd, counts, sizeof counts);
}

bool sendTriangle(int fd) {
    const float corners[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    const std::int32_t numbers[3] = {0, 1, 2};
    return sendMeshHead(fd, 3, 1) && writeAll(fd, corners, sizeof corners) && writeAll(fd, numbers, sizeof numbers);
}

// Every coordinate 0 and every vertex number 0: finite, and naming a vertex.
bool sendGiBMesh(int fd) {
    if (!sendMeshHead(fd, 44739241, 44739241)) return false;
    for (unsigned long long left = kGiBMeshBytes; left > 0;) {
        std::size_t now = left < sizeof zeros ? static_cast<std::size_t>(left) : sizeof zeros;
        if (!writeAll(fd, zeros, now)) return false;
        left -= now;
    }
    return true;
}

}  // namespace

bool isResultLie(const std::string &name) {
    for (const char *lie : kLies) {
        if (name == lie) return true;
    }
    return false;
}

void lieOnResultPipe(const std::string &name, int fd) {
    if (!isResultLie(name)) return;
    if (name == "flood-after-mesh") {
        // Three vertices and one triangle announced: 92 bytes, then more.
        if (sendMeshHead(fd, 3, 1)) {
            while (writeAll(fd, zeros, sizeof zeros)) {
            }
        }
    } else if (name == "flood-progress") {
        char frame[13] = {'p', 4};  // length 4, share 0
        while (writeAll(fd, frame, sizeof frame)) {
        }
    } else if (name == "exit-86") {
        _exit(86);
    } else if (name == "mesh-then-exit-87") {
        _exit(sendTriangle(fd) ? 87 : 1);
    } else if (name == "reason-with-controls") {
        std::size_t size = std::strlen(kHostileReason);
        _exit(sendHeader(fd, 'e', size) && writeAll(fd, kHostileReason, size) ? 0 : 1);
    } else if (name == "claim-out-of-memory") {
        std::new_handler handler = std::get_new_handler();
        if (handler != nullptr) handler();
    } else if (name == "hang") {
        static int never = 0;
        for (;;) syscall(SYS_futex, &never, FUTEX_WAIT_PRIVATE, 0, nullptr, nullptr, 0);
    } else if (name == "mesh-of-1-gib") {
        _exit(sendGiBMesh(fd) ? 0 : 1);
    }
    _exit(1);
}
