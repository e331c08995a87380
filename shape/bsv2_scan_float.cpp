// The scanner's floats. A float is read byte by byte by the same rules as
// "%f": the bytes it takes are those the C library would take, and its value
// is that of the longest number they begin with. Its significant digits are
// gathered into a short decimal or hexadecimal text, which std::from_chars
// rounds correctly to float (or strtof, where the standard library has no
// from_chars for floats).
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "bsv2_scan.h"

namespace bsv2_internal {

namespace {

// Digits past this many change the value only by being zero or not: a float
// halfway between two neighbours never has more than about 120 significant
// decimal digits, so keeping 256, plus a final 1 standing for any nonzero
// digits dropped, rounds exactly as all of them would.
const int kKeptDigits = 256;

// A number in the making: value = digits * base^scale * 2-or-10^exponent.
struct FloatToken {
    bool negative;
    bool hex;  // base 16 and a binary exponent ("0x...p...")
    bool sawPoint;
    bool sawMantissaDigit;
    bool sawExponentMark;  // 'e', or 'p' for hex
    bool exponentNegative;
    bool droppedNonZero;  // a nonzero digit beyond kKeptDigits
    int numDigits;        // significant digits kept, leading zeros skipped
    int exponentDigits;
    long long scale;     // in powers of the base
    long long exponent;  // as written; saturates far beyond any float
    char digits[kKeptDigits + 1];
};

bool isHexDigit(int c) { return isScanDigit(c) || (asciiLower(c) >= 'a' && asciiLower(c) <= 'f'); }

void addMantissaDigit(FloatToken *token, int c) {
    token->sawMantissaDigit = true;
    if (token->numDigits == 0 && c == '0') {
        if (token->sawPoint) token->scale--;
        return;
    }
    if (token->numDigits < kKeptDigits) {
        token->digits[token->numDigits++] = static_cast<char>(c);
        if (token->sawPoint) token->scale--;
        return;
    }
    if (c != '0') token->droppedNonZero = true;
    if (!token->sawPoint) token->scale++;
}

void addExponentDigit(FloatToken *token, int c) {
    token->exponentDigits++;
    if (token->exponent < 1000000000000LL) token->exponent = token->exponent * 10 + (c - '0');
}

// Consumes `word` (lower case) in any case; false, having consumed what
// matched, at the first byte that differs, as "%f" fails there too.
bool consumeWord(Bsv2Scanner *scanner, const char *word) {
    for (; *word != '\0'; word++) {
        if (asciiLower(peekByte(scanner)) != *word) return false;
        scanner->pos++;
    }
    return true;
}

// "nan", "inf" or "infinity" in any case, after the sign. "%f" takes "nan"
// and "inf" whole; after "inf" an 'i' commits it to the whole "infinity".
ScanResult scanWord(Bsv2Scanner *scanner, bool negative, float *value) {
    float magnitude;
    if (asciiLower(peekByte(scanner)) == 'n') {
        if (!consumeWord(scanner, "nan")) return kScanMismatch;
        magnitude = std::numeric_limits<float>::quiet_NaN();
    } else {
        if (!consumeWord(scanner, "inf")) return kScanMismatch;
        if (asciiLower(peekByte(scanner)) == 'i' && !consumeWord(scanner, "inity")) return kScanMismatch;
        magnitude = std::numeric_limits<float>::infinity();
    }
    *value = std::copysign(magnitude, negative ? -1.0f : 1.0f);
    return kScanRead;
}

// The correctly rounded magnitude of `digits` (hexadecimal when `hex`)
// times the base's power `exponent` (2 for hex, 10 otherwise), as written
// in `text` up to `end`: "digits" "e" or "p" "exponent", with no point and
// no sign, in a buffer with room for three more bytes. Infinity when it is
// too large for a float, zero when too small.
float parseDigits(char *text, char *end, bool hex, long long exponent, int numDigits) {
#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
    float magnitude = 0.0f;
    auto parsed = std::from_chars(text, end, magnitude, hex ? std::chars_format::hex : std::chars_format::general);
    if (parsed.ec == std::errc::result_out_of_range) {
        // The digits as a fraction of one tell which way it is out of range,
        // as 0.digits * base^(numDigits + exponent).
        bool huge = exponent + static_cast<long long>(numDigits) * (hex ? 4 : 1) > 0;
        magnitude = huge ? std::numeric_limits<float>::infinity() : 0.0f;
    }
    return magnitude;
#else
    // A standard library without from_chars for floats (emscripten's libc++
    // 13): strtof rounds correctly too and gives infinity or zero out of
    // range. The text has no decimal point, so the locale cannot change it;
    // hexadecimal needs its "0x".
    (void)exponent;
    (void)numDigits;
    char *start = text;
    if (hex) {
        std::memmove(text + 2, text, static_cast<std::size_t>(end - text));
        text[0] = '0';
        text[1] = 'x';
        end += 2;
    }
    *end = '\0';
    return std::strtof(start, nullptr);
#endif
}

// The correctly rounded float of a token with at least one mantissa digit.
float tokenValue(FloatToken *token) {
    float zero = token->negative ? -0.0f : 0.0f;
    if (token->numDigits == 0) return zero;  // every digit was a zero
    if (token->droppedNonZero) {
        token->digits[token->numDigits++] = '1';
        token->scale--;
    }
    const int bitsPerDigit = token->hex ? 4 : 1;  // hex exponents count bits
    long long exponent = token->scale * bitsPerDigit;
    if (token->exponentDigits > 0) exponent += token->exponentNegative ? -token->exponent : token->exponent;
    // Far beyond any float either way; keeps the text short.
    const long long kExponentLimit = 100000;
    if (exponent > kExponentLimit) exponent = kExponentLimit;
    if (exponent < -kExponentLimit) exponent = -kExponentLimit;

    char text[kKeptDigits + 32];
    char *end = std::copy(token->digits, token->digits + token->numDigits, text);
    *end++ = token->hex ? 'p' : 'e';
    end = std::to_chars(end, text + sizeof text - 3, exponent).ptr;
    float magnitude = parseDigits(text, end, token->hex, exponent, token->numDigits);
    return token->negative ? -magnitude : magnitude;
}

// The byte at the scan position, from the buffer while it lasts.
inline int currentByte(Bsv2Scanner *scanner) {
    return scanner->pos < scanner->end ? scanner->buffer[scanner->pos] : peekByte(scanner);
}

// The digits phase: the mantissa's digits (hexadecimal ones after "0x")
// and at most one point, from `c` on. Returns the first byte after them.
int scanMantissa(Bsv2Scanner *scanner, FloatToken *token, int c) {
    for (;; c = currentByte(scanner)) {
        if (isScanDigit(c) || (token->hex && isHexDigit(c))) {
            addMantissaDigit(token, c);
        } else if (c == '.' && !token->sawPoint) {
            token->sawPoint = true;
        } else {
            return c;
        }
        scanner->pos++;
    }
}

// The exponent phase: after at least one mantissa digit, 'e' (or 'p' after
// "0x"), an optional sign right after it, then decimal digits. As with
// "%f", a mark or a sign without digits is taken and adds nothing.
void scanExponent(Bsv2Scanner *scanner, FloatToken *token, int c) {
    if (!token->sawMantissaDigit || asciiLower(c) != (token->hex ? 'p' : 'e')) return;
    token->sawExponentMark = true;
    scanner->pos++;
    c = currentByte(scanner);
    if (c == '+' || c == '-') {
        token->exponentNegative = c == '-';
        scanner->pos++;
        c = currentByte(scanner);
    }
    for (; isScanDigit(c); c = currentByte(scanner)) {
        addExponentDigit(token, c);
        scanner->pos++;
    }
}

}  // namespace

ScanResult scanFloat(Bsv2Scanner *scanner, float *value) {
    int c = skipScanSpace(scanner);
    if (c == EOF) return kScanEnd;
    // The exact fast path: a plain decimal lying well inside the buffer,
    // parsed in one pass (parsePlainFloat).
    if (scanQuickly(scanner, value, parsePlainFloat)) return kScanRead;

    // Everything else, byte by byte: sign, words, "0x", digits, exponent.
    FloatToken token;
    token.negative = token.hex = token.sawPoint = token.sawMantissaDigit = false;
    token.sawExponentMark = token.exponentNegative = token.droppedNonZero = false;
    token.numDigits = token.exponentDigits = 0;
    token.scale = token.exponent = 0;

    if (c == '+' || c == '-') {
        token.negative = c == '-';
        scanner->pos++;
        c = peekByte(scanner);
        if (c == EOF) return kScanMismatch;
    }
    if (asciiLower(c) == 'n' || asciiLower(c) == 'i') return scanWord(scanner, token.negative, value);
    if (c == '0') {
        scanner->pos++;
        c = peekByte(scanner);
        if (asciiLower(c) == 'x') {
            token.hex = true;
            scanner->pos++;
            c = peekByte(scanner);
        } else {
            addMantissaDigit(&token, '0');
        }
    }
    c = scanMantissa(scanner, &token, c);
    scanExponent(scanner, &token, c);

    if (!token.sawMantissaDigit) {
        // A sign, a point or "0x" alone is no number, but "0x." is zero: the
        // C library's strtof reads its "0".
        if (!(token.hex && token.sawPoint)) return kScanMismatch;
        *value = token.negative ? -0.0f : 0.0f;
        return kScanRead;
    }
    // The slow path: the kept digits rounded correctly by std::from_chars.
    *value = tokenValue(&token);
    return kScanRead;
}

}  // namespace bsv2_internal
