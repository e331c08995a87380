#include "claimed_counts.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string_view>

namespace {

// The file's bytes one at a time, through a small buffer.
struct Bytes {
    int fd = -1;
    long long offset = 0;  // of buffer[0] in the file
    unsigned char buffer[4096] = {0};
    long have = 0, at = 0;
    bool failed = false;
};

// The next byte, or EOF at the end of the file or on a read error.
int peek(Bytes *bytes) {
    if (bytes->at == bytes->have) {
        bytes->offset += bytes->have;
        ssize_t got = pread(bytes->fd, bytes->buffer, sizeof bytes->buffer, static_cast<off_t>(bytes->offset));
        bytes->failed = got < 0;
        bytes->have = got > 0 ? got : 0;
        bytes->at = 0;
        if (bytes->have == 0) return EOF;
    }
    return bytes->buffer[bytes->at];
}

// The reader's white space and digits, whatever the locale.
bool isSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(int c) { return c >= '0' && c <= '9'; }

// White space, then a whole number that fits in an int; false otherwise.
bool readCount(Bytes *bytes, long long *count) {
    int c = peek(bytes);
    while (isSpace(c)) {
        bytes->at++;
        c = peek(bytes);
    }
    bool negative = c == '-';
    if (c == '+' || c == '-') {
        bytes->at++;
        c = peek(bytes);
    }
    if (!isDigit(c)) return false;
    long long magnitude = 0;
    while (isDigit(c)) {
        magnitude = std::min(magnitude * 10 + (c - '0'), static_cast<long long>(INT_MAX) + 2);
        bytes->at++;
        c = peek(bytes);
    }
    *count = negative ? -magnitude : magnitude;
    return *count >= INT_MIN && *count <= INT_MAX;
}

}  // namespace

ClaimedCounts readClaimedCounts(int fd, long long fileSize) {
    ClaimedCounts counts;
    Bytes bytes;
    bytes.fd = fd;
    char magic[5] = {0};
    for (int length = 0; length < 4 && peek(&bytes) != EOF && peek(&bytes) != '\n'; length++)
        magic[length] = static_cast<char>(bytes.buffer[bytes.at++]);
    if (std::string_view(magic) != "BSV2" || !readCount(&bytes, &counts.vertices) || counts.vertices < 1 ||
        !readCount(&bytes, &counts.triangles) || bytes.failed)
        return ClaimedCounts();
    counts.tablesAt = bytes.offset + bytes.at;
    counts.tableBytes = fileSize - counts.tablesAt;
    counts.known = true;
    return counts;
}

bool countsFitTheFile(const ClaimedCounts &counts) {
    long long numbers = 3 * (counts.vertices + std::max(counts.triangles, 0LL));
    return counts.tableBytes >= 2 * numbers;
}
