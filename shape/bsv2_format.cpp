// "%f" for floats, exactly: a float is m * 2^e with a 24-bit m, so a whole
// one fits in 128 bits and a fractional one, in millionths, in 64.
#include "bsv2_format.h"

#include <cstdint>
#include <cstring>

namespace bsv2_internal {

namespace {

using u128 = unsigned __int128;

const std::uint64_t kMillion = 1000000;

const char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

inline int decimalLength(std::uint32_t value) {
    static const std::uint32_t kPowers[] = {0, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};
    // log10 from log2: 1233 / 4096 is just above log10(2).
    int guess = ((32 - __builtin_clz(value | 1)) * 1233) >> 12;
    return guess + (value >= kPowers[guess]);
}

// Writes `value`, of exactly `length` decimal digits, two at a time from the
// right.
inline char *formatDigits(char *out, std::uint32_t value, int length) {
    char *end = out + length;
    char *p = end;
    while (value >= 100) {
        p -= 2;
        std::memcpy(p, kDigitPairs + 2 * (value % 100), 2);
        value /= 100;
    }
    if (value >= 10) {
        p -= 2;
        std::memcpy(p, kDigitPairs + 2 * value, 2);
    } else {
        *--p = static_cast<char>('0' + value);
    }
    return end;
}

// The eight decimal digits of `value` (below 10^8, with leading zeros) as
// ASCII bytes, the first digit in the lowest byte: split into two halves of
// four digits, each into two pairs, each into two digits, all lanes of one
// word at once (x / 100 is (x * 10486) >> 20 below 43699, x / 10 is
// (x * 103) >> 10 below 179).
inline std::uint64_t eightDigitValues(std::uint32_t value) {
    std::uint64_t lanes = (value / 10000) | (static_cast<std::uint64_t>(value % 10000) << 32);
    std::uint64_t hundreds = ((lanes * 10486) >> 20) & 0x0000007F0000007FULL;
    lanes = hundreds | ((lanes - hundreds * 100) << 16);
    std::uint64_t tens = ((lanes * 103) >> 10) & 0x000F000F000F000FULL;
    return tens | ((lanes - tens * 10) << 8);
}

inline std::uint64_t eightDigits(std::uint32_t value) { return eightDigitValues(value) + 0x3030303030303030ULL; }

// Six digits, with leading zeros. Stores eight bytes: the two after the
// six are scratch, for what follows to overwrite.
inline char *formatSixDigits(char *out, std::uint32_t value) {
    std::uint64_t digits = eightDigits(value) >> 16;
    std::memcpy(out, &digits, 8);
    return out + 6;
}

// Below 10^8 the digits come from eightDigits and one 8-byte store, whose
// bytes past the number are scratch for what follows to overwrite: callers
// leave room for them (a line always continues past a number).
inline char *formatUnsigned32(char *out, std::uint32_t value) {
    if (value >= 100000000) return formatDigits(out, value, decimalLength(value));
    // The leading zeros are the zero bytes at the bottom; the last digit
    // counts even when it is a zero.
    std::uint64_t values = eightDigitValues(value);
    int leadingZeros = __builtin_ctzll(values | (std::uint64_t{1} << 56)) >> 3;
    std::uint64_t digits = (values + 0x3030303030303030ULL) >> (8 * leadingZeros);
    std::memcpy(out, &digits, 8);
    return out + (8 - leadingZeros);
}

// Whole floats reach 2^128.
char *formatUnsigned128(char *out, u128 value) {
    if (value <= UINT32_MAX) return formatUnsigned32(out, static_cast<std::uint32_t>(value));
    char reversed[40];
    int length = 0;
    while (value != 0) {
        reversed[length++] = static_cast<char>('0' + static_cast<int>(value % 10));
        value /= 10;
    }
    while (length > 0) *out++ = reversed[--length];
    return out;
}

// m * 2^exponent (exponent below 0) in millionths, rounded to nearest with
// ties to even.
inline std::uint64_t millionthsOf(std::uint32_t mantissa, int exponent) {
    std::uint64_t numerator = static_cast<std::uint64_t>(mantissa) * kMillion;  // below 2^44
    int shift = -exponent;
    if (shift > 45) return 0;  // less than a quarter of a millionth
    std::uint64_t quotient = numerator >> shift;
    std::uint64_t remainder = numerator & ((std::uint64_t{1} << shift) - 1);
    std::uint64_t half = std::uint64_t{1} << (shift - 1);
    return quotient + ((remainder > half) | ((remainder == half) & quotient & 1));
}

inline char *formatFloatInline(char *out, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    // The sign without a branch: coordinates' signs come at random.
    *out = '-';
    out += bits >> 31;
    std::uint32_t biasedExponent = (bits >> 23) & 0xff;
    std::uint32_t fraction = bits & 0x7fffff;
    if (biasedExponent == 0xff) {
        std::memcpy(out, fraction != 0 ? "nan" : "inf", 3);
        return out + 3;
    }
    // Subnormals have no hidden bit and the exponent of the smallest normal.
    std::uint32_t mantissa = biasedExponent == 0 ? fraction : fraction | 0x800000;
    int exponent = (biasedExponent == 0 ? 1 : static_cast<int>(biasedExponent)) - 127 - 23;
    if (exponent >= 0) {
        // A whole number, up to 2^128: no rounding.
        out = formatUnsigned128(out, static_cast<u128>(mantissa) << exponent);
        std::memcpy(out, ".000000", 7);
        return out + 7;
    }
    std::uint64_t millionths = millionthsOf(mantissa, exponent);
    if (millionths < 10 * kMillion) {
        // Below ten, the usual case: "d.dddddd" as one 8-byte store, the
        // point put in between the first digit and the rest.
        std::uint64_t digits = eightDigits(static_cast<std::uint32_t>(millionths)) >> 8;
        digits = (digits & 0xFF) | (std::uint64_t{'.'} << 8) | ((digits >> 8) << 16);
        std::memcpy(out, &digits, 8);
        return out + 8;
    }
    std::uint64_t whole = millionths / kMillion;  // below 2^24
    if (whole < 10)
        *out++ = static_cast<char>('0' + whole);
    else
        out = formatUnsigned32(out, static_cast<std::uint32_t>(whole));
    *out++ = '.';
    return formatSixDigits(out, static_cast<std::uint32_t>(millionths - whole * kMillion));
}

inline char *formatIntInline(char *out, int value) {
    std::uint32_t magnitude = static_cast<std::uint32_t>(value);
    if (value < 0) {
        *out++ = '-';
        magnitude = 0u - magnitude;
    }
    return formatUnsigned32(out, magnitude);
}

}  // namespace

char *formatFloat(char *out, float value) { return formatFloatInline(out, value); }

char *formatInt(char *out, int value) { return formatIntInline(out, value); }

char *formatVertexLine(char *out, const float coordinates[3]) {
    out = formatFloatInline(out, coordinates[0]);
    *out++ = ' ';
    out = formatFloatInline(out, coordinates[1]);
    *out++ = ' ';
    out = formatFloatInline(out, coordinates[2]);
    *out++ = '\n';
    return out;
}

char *formatTriangleLine(char *out, const int corners[3]) {
    out = formatIntInline(out, corners[0]);
    *out++ = ' ';
    out = formatIntInline(out, corners[1]);
    *out++ = ' ';
    out = formatIntInline(out, corners[2]);
    *out++ = '\n';
    return out;
}

char *formatCountLine(char *out, int count) {
    out = formatIntInline(out, count);
    *out++ = '\n';
    return out;
}

}  // namespace bsv2_internal
