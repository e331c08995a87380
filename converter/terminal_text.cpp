#include "terminal_text.h"

namespace {

// The code point of the UTF-8 sequence at text[at], its length in *size;
// or -1 when the bytes there are no valid sequence, with *size the bytes
// to replace as one: the longest start of a valid sequence, at least one
// byte (as Unicode recommends). Overlong forms, surrogates and code points
// past U+10FFFF are ruled out by the range of the second byte.
long codePointAt(const std::string &text, std::size_t at, std::size_t *size) {
    unsigned char lead = static_cast<unsigned char>(text[at]);
    *size = 1;
    if (lead < 0x80) return lead;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return -1;
    }
    long code = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; k++) {
        unsigned char next = at + k < text.size() ? static_cast<unsigned char>(text[at + k]) : 0;
        if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) {
            *size = k;
            return -1;
        }
        code = code << 6 | (next & 0x3F);
    }
    *size = length;
    return code;
}

// Controls (C0, DEL, C1), the bidirectional controls, the line and
// paragraph separators some terminals break lines at, and the characters
// that show nothing (zero-width spaces and joiners, the word joiner and
// invisible operators, the deprecated format controls, the byte order mark,
// the soft hyphen, the interlinear annotation marks): none of them may
// change or hide what the line says.
bool isControl(long code) {
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0xAD || code == 0x061C || code == 0x180E ||
           (code >= 0x200B && code <= 0x200F) || (code >= 0x2028 && code <= 0x202E) ||
           (code >= 0x2060 && code <= 0x206F) || code == 0xFEFF || (code >= 0xFFF9 && code <= 0xFFFB);
}

}  // namespace

std::string terminalText(const std::string &text) {
    std::string safe;
    for (std::size_t at = 0, size = 0; at < text.size(); at += size) {
        long code = codePointAt(text, at, &size);
        if (code < 0)
            safe += "\xEF\xBF\xBD";
        else if (isControl(code))
            safe += ' ';
        else
            safe.append(text, at, size);
    }
    return safe;
}
