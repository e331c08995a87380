// Text from an untrusted source made fit to print on a terminal, within a
// line of the converter's own.
#ifndef CONVERTER_TERMINAL_TEXT_H
#define CONVERTER_TERMINAL_TEXT_H

#include <string>

// `text` with every control character (C0, DEL, and C1 as UTF-8) and every
// Unicode bidirectional control (U+061C, U+200E, U+200F, U+202A..U+202E,
// U+2066..U+2069) made a space, and every byte that is not part of valid
// UTF-8 (a raw C1 byte among them) made U+FFFD. What remains can neither
// move the cursor, start an escape sequence nor reorder the line.
//   Returns a new string; never fails.
std::string terminalText(const std::string &text);

#endif
