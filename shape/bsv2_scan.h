// The BSV2 reader's scanner: numbers out of a file or memory through one
// fixed-size buffer, read by the same rules as the C library's formatted
// input ("%d", "%f", "%4[^\n]" and whitespace directives in the C locale),
// whatever the process's locale, and with every float correctly rounded.
//
// The tables are read in tight loops (bsv2_scan_tables.cpp) that take the
// common numbers, integers and plain decimals such as -3.141593,
// straight from the buffer with the inline parsers here; everything else,
// and anything near the buffer's end, goes through scanInt and scanFloat
// (bsv2_scan.cpp, bsv2_scan_float.cpp), which read any number anywhere.
//
// Internal to the Shape library.
#ifndef SHAPE_BSV2_SCAN_H
#define SHAPE_BSV2_SCAN_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace bsv2_internal {

// What one scan found.
enum ScanResult {
    kScanRead,      // what was asked for was read and stored
    kScanMismatch,  // the input holds something else (or an integer beyond 32 bits); nothing stored
    kScanEnd,       // the input ended, or could not be read, before anything but whitespace
};

// Large enough that reading costs few system calls; the reader takes it from
// the heap, and a small one from its stack should that fail. The fuzz build
// makes both tiny, so that numbers cross the buffer's end all the time.
#ifndef BSV2_SCAN_BUFFER_SIZE
#define BSV2_SCAN_BUFFER_SIZE (64 * 1024)
#endif
const std::size_t kScanBufferSize = BSV2_SCAN_BUFFER_SIZE;
const std::size_t kSmallScanBufferSize = kScanBufferSize < 4096 ? kScanBufferSize : 4096;

// A number is parsed straight from the buffer only when at least this many
// bytes follow its start, more than any number the quick parsers accept.
const std::size_t kScanLookahead = 64;
static_assert(kSmallScanBufferSize > kScanLookahead, "the buffer holds the lookahead");

// Where the scanner's bytes come from: an open file, read as the scan goes,
// or bytes already in memory. Everything past refillScan is the same for
// both; a reader that splits its input shares out sources, not scanners.
struct Bsv2Source {
    std::FILE *file;             // the file, or null for bytes in memory
    const unsigned char *bytes;  // in memory: the bytes not yet handed over
    std::size_t size;            // in memory: how many of them
    std::uint64_t taken;         // bytes handed over so far
};

// A source over `file` from its current position; the source does not own it.
Bsv2Source fileSource(std::FILE *file);
// A source over `size` bytes at `bytes`, which must stay as they are until
// the scan is over; the source does not own them.
Bsv2Source memorySource(const unsigned char *bytes, std::size_t size);

// Copies up to `capacity` of the source's next bytes to `to` and returns how
// many. 0 means the input has ended, or could not be read: then *error is
// the errno of the read (0 when it just ended).
std::size_t readSource(Bsv2Source *source, unsigned char *to, std::size_t capacity, int *error);

// The most bytes the source can still give, or SIZE_MAX when it cannot tell
// (a file may grow, or be a pipe, or lie about its size).
std::size_t sourceBytesLeft(const Bsv2Source &source);

// A window onto the input: bytes [pos, end) of `buffer` are read but not yet
// scanned. Everything before pos has been consumed. buffer[end] is always a
// NUL, which is neither whitespace nor part of a number, so loops over
// digits or spaces stop there without checking the end.
struct Bsv2Scanner {
    Bsv2Source source;
    std::size_t pos;
    std::size_t end;
    bool ended;             // the input has ended or failed: no more bytes will come
    int readError;          // when it failed: the errno of the read; 0 when it just ended
    std::size_t capacity;   // bytes the buffer takes before its closing NUL
    unsigned char *buffer;  // capacity + 1 bytes
};

// Where the scan is in its input: the offset of the next byte to scan,
// counted from where the source began.
inline std::uint64_t scanOffset(const Bsv2Scanner &scanner) {
    return scanner.source.taken - (scanner.end - scanner.pos);
}

// Starts scanning `source` through `buffer` of capacity + 1 bytes (capacity
// more than kScanLookahead). The scanner owns neither the source's input nor
// the buffer.
void startScan(Bsv2Scanner *scanner, Bsv2Source source, unsigned char *buffer, std::size_t capacity);

// The most numbers the rest of the input can hold (every number takes a
// byte at least), or SIZE_MAX when the source cannot tell.
std::size_t numbersLeft(const Bsv2Scanner &scanner);

// The magic, as "%4[^\n]\n" reads it: up to four bytes that are not a
// newline, from the current position (no whitespace skipped), into `magic`
// as a C string, then any run of whitespace. An empty first line leaves
// `magic` empty and is kScanMismatch; kScanEnd when the input is empty.
ScanResult scanMagic(Bsv2Scanner *scanner, char magic[5]);

// One optionally signed decimal integer, after any whitespace, as "%d" reads
// it; one that does not fit in 32 bits is kScanMismatch.
ScanResult scanInt(Bsv2Scanner *scanner, int *value);

// One float, after any whitespace, as "%f" reads it: decimal or hexadecimal
// with optional sign, point and exponent, or infinity or not-a-number in any
// case; the result is the correctly rounded float (overflow gives infinity,
// underflow zero, keeping the sign).
ScanResult scanFloat(Bsv2Scanner *scanner, float *value);

// Reads `count` floats into `out` as scanFloat would one by one: kScanRead
// when all were read, else the result for the first that was not.
ScanResult scanFloatTable(Bsv2Scanner *scanner, float *out, long count);

// Reads `numTris` triangles of three vertex numbers into `out` as scanInt
// would, in order, checking each triangle's numbers against 0 ..
// numVertices - 1 before reading the next.
enum TriangleTableResult {
    kTrianglesRead,
    kTriangleUnreadable,  // a vertex number could not be read
    kTriangleOutOfRange,  // a triangle names a vertex that does not exist
};
TriangleTableResult scanTriangleTable(Bsv2Scanner *scanner, int *out, long numTris, int numVertices);

// Moves the bytes not yet scanned to the front of the buffer and reads more
// of the input behind them. At the end of the input, or when it cannot be
// read, sets `ended` (and, for a failed read, `readError`).
void refillScan(Bsv2Scanner *scanner);

// Makes sure at least kScanLookahead bytes are in the buffer, unless the
// input ends first.
inline void ensureLookahead(Bsv2Scanner *scanner) {
    if (scanner->end - scanner->pos < kScanLookahead && !scanner->ended) refillScan(scanner);
}

// The next byte without consuming it, reading more of the file as needed;
// EOF when the input has ended.
inline int peekByte(Bsv2Scanner *scanner) {
    if (scanner->pos == scanner->end) {
        if (scanner->ended) return EOF;
        refillScan(scanner);
        if (scanner->pos == scanner->end) return EOF;
    }
    return scanner->buffer[scanner->pos];
}

// Whitespace as the C locale has it.
inline bool isScanSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool isScanDigit(int c) { return c >= '0' && c <= '9'; }
inline int asciiLower(int c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

// Consumes any run of whitespace; the byte after it (or EOF) as peekByte.
int skipScanSpace(Bsv2Scanner *scanner);

// Eight bytes from `p`, the first in the lowest byte.
inline std::uint64_t loadEight(const unsigned char *p) {
    std::uint64_t bytes;
    std::memcpy(&bytes, p, sizeof bytes);
    return bytes;
}

// Where the non-digits are among the eight bytes: bit 7 of each byte that is
// not a decimal digit, wherever the first non-digit lies. A byte is a digit
// when it is below 10 after '0' is taken off (by exclusive or, so nothing
// borrows); adding 0x76 sets bit 7 of any byte of 10 or more, and a carry
// out of a byte only reaches bytes after the first non-digit.
inline std::uint64_t nonDigitBits(std::uint64_t bytes) {
    std::uint64_t offsets = bytes ^ 0x3030303030303030ULL;
    return ((offsets + 0x7676767676767676ULL) | offsets) & 0x8080808080808080ULL;
}

// How many decimal digits the eight bytes begin with, 0 to 8, from the first
// non-digit alone.
inline unsigned leadingDigits(std::uint64_t bytes) {
    std::uint64_t nonDigits = nonDigitBits(bytes);
    return nonDigits == 0 ? 8 : static_cast<unsigned>(__builtin_ctzll(nonDigits)) / 8;
}

// True when the eight bytes begin with exactly six decimal digits: the
// length a writer's "%f" gives the decimals.
inline bool startsWithSixDigits(std::uint64_t bytes) { return leadingDigits(bytes) == 6; }

// The value of the first `count` (1 to 8) digits of the eight bytes, all at
// once: moved to the top behind zeros, then combined in pairs, fours and
// eights. The scan moves on by the count, which the processor runs ahead on
// while the value is still being computed.
inline std::uint32_t digitsValue(std::uint64_t bytes, unsigned count) {
    std::uint64_t digits = (bytes ^ 0x3030303030303030ULL) << ((8 * (8 - count)) & 63);
    digits = digits * 10 + (digits >> 8);
    digits = (((digits & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
              (((digits >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
             32;
    return static_cast<std::uint32_t>(digits);
}

// The value of six digits that startsWithSixDigits found.
inline std::uint32_t sixDigitValue(std::uint64_t bytes) { return digitsValue(bytes, 6); }

// An optionally signed decimal integer starting at `p`, which has at least
// kScanLookahead bytes behind it, taken eight digits at a time: no branch
// depends on a single digit. Returns the byte after it, or null (having
// stored nothing) when it has no digit, does not fit in 32 bits, or runs on
// past the lookahead; the long way then decides.
inline const unsigned char *parseInteger(const unsigned char *p, int *value) {
    static const std::uint32_t kPowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
    const std::uint64_t kBeyondInt = std::uint64_t{1} << 31;
    bool negative = *p == '-';
    p += negative | (*p == '+');
    std::uint64_t bytes = loadEight(p);
    unsigned count = leadingDigits(bytes);
    if (count == 0) return nullptr;
    std::uint64_t magnitude = digitsValue(bytes, count);
    p += count;
    // Eight digits and more: leading zeros, or a number too large, which
    // stays too large once past 2^31 (and never overflows).
    for (int groups = 1; count == 8; groups++) {
        if (groups == (kScanLookahead - 8) / 8) return nullptr;
        bytes = loadEight(p);
        count = leadingDigits(bytes);
        std::uint64_t kept = magnitude > kBeyondInt ? kBeyondInt + 1 : magnitude;
        magnitude = kept * kPowersOfTen[count] + (count == 0 ? 0 : digitsValue(bytes, count));
        p += count;
    }
    if (magnitude > (negative ? kBeyondInt : kBeyondInt - 1)) return nullptr;
    *value = negative ? static_cast<int>(-static_cast<std::int64_t>(magnitude)) : static_cast<int>(magnitude);
    return p;
}

// One bit per byte of the 24 at `p`, set where the byte is a decimal digit
// (the first byte in the lowest bit).
#if defined(__SSE2__)
// Two compares and a gathering of the bytes' top bits per 16 bytes.
inline std::uint32_t digitBits24(const unsigned char *p) {
    const __m128i kBelowZero = _mm_set1_epi8('0' - 1), kAboveNine = _mm_set1_epi8('9' + 1);
    // As signed bytes, those of 0x80 and more are below '0' too.
    auto digits = [&](__m128i bytes) {
        return static_cast<std::uint32_t>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpgt_epi8(bytes, kBelowZero), _mm_cmplt_epi8(bytes, kAboveNine))));
    };
    std::uint32_t low = digits(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
    std::uint32_t high = digits(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16)));
    return (low | high << 16) & 0x00FFFFFFu;
}
#else
// Eight bytes at a time in a machine word. Exact for every byte: unlike
// nonDigitBits, no carry crosses from byte to byte, since each byte has its
// top bit set before 10 is taken off.
inline std::uint32_t digitBits(std::uint64_t bytes) {
    const std::uint64_t kTops = 0x8080808080808080ULL;
    std::uint64_t offsets = bytes ^ 0x3030303030303030ULL;
    std::uint64_t digits = ~(((offsets | kTops) - 0x0A0A0A0A0A0A0A0AULL) | offsets) & kTops;
    // Gathers the eight top bits into the top byte, the first byte's lowest.
    return static_cast<std::uint32_t>(((digits >> 7) * 0x0102040810204080ULL) >> 56);
}
inline std::uint32_t digitBits24(const unsigned char *p) {
    return digitBits(loadEight(p)) | digitBits(loadEight(p + 8)) << 8 | digitBits(loadEight(p + 16)) << 16;
}
#endif

// A triangle's three vertex numbers as the writer writes them, starting at
// `p`, which has at least kScanLookahead bytes behind it: unsigned, of one to
// eight digits, one blank between them, all within 24 bytes. Where each
// number ends comes from one mask of the 24 bytes' digits, so that finding
// the next triangle waits on no digit-by-digit decision. Returns the byte
// after the third number, or null (having stored nothing that counts) for
// anything else, which parseInteger then reads number by number.
inline const unsigned char *parseTriangle(const unsigned char *p, int corners[3]) {
    std::uint32_t digits = digitBits24(p);
    // The byte after each number, within the 24.
    std::uint32_t afters = ~digits & (digits << 1) & 0x00FFFFFFu;
    std::uint32_t afters1 = afters & (afters - 1);
    std::uint32_t afters2 = afters1 & (afters1 - 1);
    if ((digits & 1) == 0 || afters2 == 0) return nullptr;
    unsigned end0 = static_cast<unsigned>(__builtin_ctz(afters));
    unsigned end1 = static_cast<unsigned>(__builtin_ctz(afters1));
    unsigned end2 = static_cast<unsigned>(__builtin_ctz(afters2));
    unsigned start1 = end0 + 1, start2 = end1 + 1;
    bool plain = (p[end0] == ' ') & (p[end1] == ' ') & ((digits >> start1) & 1) & ((digits >> start2) & 1) &
                 (end0 <= 8) & (end1 - start1 <= 8) & (end2 - start2 <= 8);
    if (!plain) return nullptr;
    corners[0] = static_cast<int>(digitsValue(loadEight(p), end0));
    corners[1] = static_cast<int>(digitsValue(loadEight(p + start1), end1 - start1));
    corners[2] = static_cast<int>(digitsValue(loadEight(p + start2), end2 - start2));
    return p + end2;
}

// True when all three vertex numbers are below `limit`. As unsigned, a
// negative vertex number is out of range too; the three compares are
// combined without branches, since all three are nearly always in range.
inline bool cornersBelow(const int corners[3], unsigned limit) {
    return (static_cast<unsigned>(corners[0]) < limit) & (static_cast<unsigned>(corners[1]) < limit) &
           (static_cast<unsigned>(corners[2]) < limit);
}

// True when the eight bytes are one digit, a point and six digits. Exact:
// the bytes up to the point are digits, and a point carries nothing into
// the bytes after it, so that nonDigitBits sees each of them as it is.
inline bool isOneDotSix(std::uint64_t bytes) { return nonDigitBits(bytes) == 0x8000u && ((bytes >> 8) & 0xFF) == '.'; }

// A plain decimal such as -3.141593 starting at `p`, which has at least
// kScanLookahead bytes behind it: no exponent, at most 19 digits, and small
// enough that its digits and power of ten are exact floats, so that one
// division rounds it correctly. Returns the byte after it, or null (having
// stored nothing) for anything else.
inline const unsigned char *parsePlainFloat(const unsigned char *p, float *value) {
    static const float kPowersOfTen[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
    bool negative = *p == '-';
    p += negative | (*p == '+');  // without a branch: signs come and go at random
    // The sign goes in by its bit, without a branch (and keeps -0).
    auto store = [value, negative](float magnitude) {
        std::uint32_t bits;
        std::memcpy(&bits, &magnitude, sizeof bits);
        bits |= static_cast<std::uint32_t>(negative) << 31;
        std::memcpy(value, &bits, sizeof bits);
    };
    // What "%f" writes below ten, one digit, the point and six digits, in
    // one load: the seven digits without the point, a whole number below
    // 2^24, over 10^6.
    std::uint64_t first = loadEight(p);
    if (isOneDotSix(first) && isScanSpace(p[8])) {
        std::uint32_t sevenDigits = digitsValue((first & 0xFF) | ((first >> 16) << 8), 7);
        store(static_cast<float>(static_cast<std::int32_t>(sevenDigits)) / kPowersOfTen[6]);
        return p + 8;
    }
    const unsigned char *number = p;
    std::uint64_t digits = 0;  // wraps harmlessly past 19 digits, which are refused
    while (isScanDigit(*p)) digits = digits * 10 + static_cast<std::uint64_t>(*p++ - '0');
    long integerDigits = p - number;
    long fractionDigits = 0;
    if (*p == '.') {
        const unsigned char *fraction = ++p;
        // Only where the load stays inside the lookahead: the integer part
        // may have run on to the buffer's end (and be refused below).
        std::uint64_t bytes = integerDigits <= 19 ? loadEight(p) : 0;
        if (startsWithSixDigits(bytes)) {
            digits = digits * 1000000 + sixDigitValue(bytes);
            p += 6;
        } else {
            while (isScanDigit(*p)) digits = digits * 10 + static_cast<std::uint64_t>(*p++ - '0');
        }
        fractionDigits = p - fraction;
    }
    // An exponent mark, a second point or the x of "0x" would still belong
    // to the number.
    int next = asciiLower(*p);
    if (next == 'e' || next == 'x' || next == '.') return nullptr;
    if (integerDigits + fractionDigits == 0 || integerDigits + fractionDigits > 19) return nullptr;
    if (digits >= (std::uint64_t{1} << 24) || fractionDigits > 10) return nullptr;
    store(static_cast<float>(static_cast<std::int32_t>(digits)) / kPowersOfTen[fractionDigits]);
    return p;
}

// After whitespace: makes sure of the lookahead, then tries `parse` at the
// current position. True, past the number, when it read one; false, having
// consumed nothing, when the long way must look.
template <typename Value>
inline bool scanQuickly(Bsv2Scanner *scanner, Value *value,
                        const unsigned char *(*parse)(const unsigned char *, Value *)) {
    ensureLookahead(scanner);
    if (scanner->end - scanner->pos < kScanLookahead) return false;
    const unsigned char *after = parse(scanner->buffer + scanner->pos, value);
    if (after == nullptr) return false;
    scanner->pos = static_cast<std::size_t>(after - scanner->buffer);
    return true;
}

}  // namespace bsv2_internal

#endif
