// The scanner's sources and buffer, whitespace, magic and integers.
#include "bsv2_scan.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace bsv2_internal {

Bsv2Source fileSource(std::FILE *file) { return Bsv2Source{file, nullptr, 0, 0}; }

Bsv2Source memorySource(const unsigned char *bytes, std::size_t size) { return Bsv2Source{nullptr, bytes, size, 0}; }

std::size_t readSource(Bsv2Source *source, unsigned char *to, std::size_t capacity, int *error) {
    *error = 0;
    if (source->file == nullptr) {
        std::size_t got = std::min(capacity, source->size);
        if (got > 0) std::memcpy(to, source->bytes, got);
        source->bytes += got;
        source->size -= got;
        source->taken += got;
        return got;
    }
    errno = 0;
    std::size_t got = std::fread(to, 1, capacity, source->file);
    if (got == 0 && std::ferror(source->file)) *error = errno != 0 ? errno : EIO;
    source->taken += got;
    return got;
}

std::size_t sourceBytesLeft(const Bsv2Source &source) { return source.file == nullptr ? source.size : SIZE_MAX; }

void startScan(Bsv2Scanner *scanner, Bsv2Source source, unsigned char *buffer, std::size_t capacity) {
    scanner->source = source;
    scanner->pos = 0;
    scanner->end = 0;
    scanner->ended = false;
    scanner->readError = 0;
    scanner->capacity = capacity;
    scanner->buffer = buffer;
    scanner->buffer[0] = '\0';
}

std::size_t numbersLeft(const Bsv2Scanner &scanner) {
    std::size_t unread = sourceBytesLeft(scanner.source);
    std::size_t buffered = scanner.end - scanner.pos;
    if (unread > SIZE_MAX - buffered) return SIZE_MAX;
    return unread + buffered;
}

void refillScan(Bsv2Scanner *scanner) {
    std::size_t kept = scanner->end - scanner->pos;
    std::memmove(scanner->buffer, scanner->buffer + scanner->pos, kept);
    scanner->pos = 0;
    scanner->end = kept;
    // A read error ends the input just as the end of the file does; its
    // cause is kept for the caller.
    std::size_t got =
        readSource(&scanner->source, scanner->buffer + kept, scanner->capacity - kept, &scanner->readError);
    if (got == 0) scanner->ended = true;
    scanner->end += got;
    scanner->buffer[scanner->end] = '\0';
}

int skipScanSpace(Bsv2Scanner *scanner) {
    for (;;) {
        while (isScanSpace(scanner->buffer[scanner->pos])) scanner->pos++;
        if (scanner->pos < scanner->end) return scanner->buffer[scanner->pos];
        if (peekByte(scanner) == EOF) return EOF;
    }
}

ScanResult scanMagic(Bsv2Scanner *scanner, char magic[5]) {
    magic[0] = '\0';
    int c = peekByte(scanner);
    if (c == EOF) return kScanEnd;
    int length = 0;
    while (length < 4 && c != EOF && c != '\n') {
        magic[length++] = static_cast<char>(c);
        scanner->pos++;
        c = peekByte(scanner);
    }
    magic[length] = '\0';
    if (length == 0) return kScanMismatch;
    skipScanSpace(scanner);
    return kScanRead;
}

ScanResult scanInt(Bsv2Scanner *scanner, int *value) {
    int c = skipScanSpace(scanner);
    if (c == EOF) return kScanEnd;
    if (scanQuickly(scanner, value, parseInteger)) return kScanRead;
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        scanner->pos++;
        c = peekByte(scanner);
    }
    if (!isScanDigit(c)) return kScanMismatch;
    // Every digit is consumed, as "%d" does; once the magnitude passes 2^31
    // nothing fits whatever the sign, so it stops growing there.
    const std::uint64_t kBeyondInt = std::uint64_t{1} << 31;
    std::uint64_t magnitude = 0;
    do {
        if (magnitude <= kBeyondInt) magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
        scanner->pos++;
        c = scanner->pos < scanner->end ? scanner->buffer[scanner->pos] : peekByte(scanner);
    } while (isScanDigit(c));
    if (magnitude > (negative ? kBeyondInt : kBeyondInt - 1)) return kScanMismatch;
    *value = negative ? static_cast<int>(-static_cast<std::int64_t>(magnitude)) : static_cast<int>(magnitude);
    return kScanRead;
}

}  // namespace bsv2_internal
