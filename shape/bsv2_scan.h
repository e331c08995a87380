// The BSV2 reader's scanner: numbers out of a file through one fixed-size
// buffer, read by the same rules as the C library's formatted input ("%d",
// "%f", "%4[^\n]" and whitespace directives in the C locale), whatever the
// process's locale, and with every float correctly rounded.
//
// The common numbers (short integers, plain decimals such as -3.141593) are
// read by the inline functions here straight from the buffer; everything
// else, and anything near the buffer's end, takes the long way through
// bsv2_scan.cpp and bsv2_scan_float.cpp.
//
// Internal to the Shape library.
#ifndef SHAPE_BSV2_SCAN_H
#define SHAPE_BSV2_SCAN_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

// What one scan found.
enum ScanResult {
    kScanRead,      // what was asked for was read and stored
    kScanMismatch,  // the input holds something else (or an integer beyond 32 bits); nothing stored
    kScanEnd,       // the input ended, or could not be read, before anything but whitespace
};

// Small enough for the scanner to live on the stack of any thread. The fuzz
// build makes it tiny, so that numbers cross its end all the time.
#ifndef BSV2_SCAN_BUFFER_SIZE
#define BSV2_SCAN_BUFFER_SIZE (16 * 1024)
#endif
const std::size_t kScanBufferSize = BSV2_SCAN_BUFFER_SIZE;

// A number is read straight from the buffer only when at least this many
// bytes follow its start, more than any number the quick paths accept.
const std::size_t kScanLookahead = 64;
static_assert(kScanBufferSize > kScanLookahead, "the buffer holds the lookahead");

// A window onto the file: bytes [pos, end) of `buffer` are read but not yet
// scanned. Everything before pos has been consumed. buffer[end] is always a
// NUL, which is neither whitespace nor part of a number, so loops over
// digits or spaces stop there without checking the end.
struct Bsv2Scanner {
    std::FILE *file;
    std::size_t pos;
    std::size_t end;
    bool ended;  // the file has ended or failed: no more bytes will come
    unsigned char buffer[kScanBufferSize + 1];
};

// Starts scanning `file` from its current position. The scanner does not own
// the file.
void startScan(Bsv2Scanner *scanner, std::FILE *file);

// The magic, as "%4[^\n]\n" reads it: up to four bytes that are not a
// newline, from the current position (no whitespace skipped), into `magic`
// as a C string, then any run of whitespace. An empty first line leaves
// `magic` empty and is kScanMismatch; kScanEnd when the input is empty.
ScanResult scanMagic(Bsv2Scanner *scanner, char magic[5]);

// One optionally signed decimal integer, after any whitespace, as "%d" reads
// it; one that does not fit in 32 bits is kScanMismatch.
inline ScanResult scanInt(Bsv2Scanner *scanner, int *value);

// One float, after any whitespace, as "%f" reads it: decimal or hexadecimal
// with optional sign, point and exponent, or infinity or not-a-number in any
// case; the result is the correctly rounded float (overflow gives infinity,
// underflow zero, keeping the sign).
inline ScanResult scanFloat(Bsv2Scanner *scanner, float *value);

// The long ways of scanInt and scanFloat: any number, anywhere in the file.
ScanResult scanIntSlowly(Bsv2Scanner *scanner, int *value);
ScanResult scanFloatSlowly(Bsv2Scanner *scanner, float *value);

// Moves the bytes not yet scanned to the front of the buffer and reads more
// of the file behind them. At the end of the file, or when it cannot be
// read, sets `ended`.
void refillScan(Bsv2Scanner *scanner);

// Makes sure at least kScanLookahead bytes are in the buffer, unless the
// file ends first.
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

// An integer of at most nine digits starting at `p`, which has at least
// kScanLookahead bytes behind it. Returns the byte after it, or null (having
// stored nothing) for anything else.
inline const unsigned char *parseShortInt(const unsigned char *p, int *value) {
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') p++;
    const unsigned char *digits = p;
    std::uint32_t magnitude = 0;  // wraps harmlessly past nine digits, which are refused
    while (isScanDigit(*p)) magnitude = magnitude * 10 + static_cast<std::uint32_t>(*p++ - '0');
    if (p == digits || p - digits > 9) return nullptr;
    *value = negative ? -static_cast<int>(magnitude) : static_cast<int>(magnitude);
    return p;
}

// A plain decimal such as -3.141593 starting at `p`, which has at least
// kScanLookahead bytes behind it: no exponent, at most 19 digits, and small
// enough that its digits and power of ten are exact floats, so that one
// division rounds it correctly. Returns the byte after it, or null (having
// stored nothing) for anything else.
inline const unsigned char *parsePlainFloat(const unsigned char *p, float *value) {
    static const float kPowersOfTen[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') p++;
    const unsigned char *number = p;
    std::uint64_t digits = 0;  // wraps harmlessly past 19 digits, which are refused
    while (isScanDigit(*p)) digits = digits * 10 + static_cast<std::uint64_t>(*p++ - '0');
    long integerDigits = p - number;
    long fractionDigits = 0;
    if (*p == '.') {
        const unsigned char *fraction = ++p;
        while (isScanDigit(*p)) digits = digits * 10 + static_cast<std::uint64_t>(*p++ - '0');
        fractionDigits = p - fraction;
    }
    // An exponent mark, a second point or the x of "0x" would still belong
    // to the number.
    int next = asciiLower(*p);
    if (next == 'e' || next == 'x' || next == '.') return nullptr;
    if (integerDigits + fractionDigits == 0 || integerDigits + fractionDigits > 19) return nullptr;
    if (digits >= (std::uint64_t{1} << 24) || fractionDigits > 10) return nullptr;
    float magnitude = static_cast<float>(digits) / kPowersOfTen[fractionDigits];
    *value = negative ? -magnitude : magnitude;
    return p;
}

// The start of the next number, past whitespace, if it has the lookahead
// behind it in the buffer; null when the long way must look.
inline const unsigned char *quickNumberStart(Bsv2Scanner *scanner) {
    const unsigned char *p = scanner->buffer + scanner->pos;
    while (isScanSpace(*p)) p++;
    if (static_cast<std::size_t>(scanner->buffer + scanner->end - p) < kScanLookahead) return nullptr;
    return p;
}

// A number by its quick parser when it starts well inside the buffer, else
// by the long way.
template <typename Value, const unsigned char *(*parseQuickly)(const unsigned char *, Value *),
          ScanResult (*scanSlowly)(Bsv2Scanner *, Value *)>
inline ScanResult scanNumber(Bsv2Scanner *scanner, Value *value) {
    const unsigned char *start = quickNumberStart(scanner);
    const unsigned char *after = start != nullptr ? parseQuickly(start, value) : nullptr;
    if (after == nullptr) return scanSlowly(scanner, value);
    scanner->pos = static_cast<std::size_t>(after - scanner->buffer);
    return kScanRead;
}

inline ScanResult scanInt(Bsv2Scanner *scanner, int *value) {
    return scanNumber<int, parseShortInt, scanIntSlowly>(scanner, value);
}

inline ScanResult scanFloat(Bsv2Scanner *scanner, float *value) {
    return scanNumber<float, parsePlainFloat, scanFloatSlowly>(scanner, value);
}

#endif
