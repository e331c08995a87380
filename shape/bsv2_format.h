// Number formatting for the BSV2 writer: the same bytes as the C library's
// "%f" and "%d" give in the C locale, whatever the process's locale.
//
// Internal to the Shape library.
#ifndef SHAPE_BSV2_FORMAT_H
#define SHAPE_BSV2_FORMAT_H

#include <cstddef>

namespace bsv2_internal {

// The longest text formatFloat writes: a sign, the 39 digits of the largest
// float, a point and six decimals.
const std::size_t kMaxFloatText = 1 + 39 + 1 + 6;
// The longest text formatInt writes: "-2147483648".
const std::size_t kMaxIntText = 11;
// The longest line the writer writes: three floats, two blanks, a newline.
const std::size_t kMaxLineText = 3 * kMaxFloatText + 3;

// Writes `value`, widened to double, as "%f" does: fixed notation with six
// decimals rounded to nearest (ties to even, on the exact binary value), and
// "inf", "-inf", "nan" or "-nan". Writes at most kMaxFloatText bytes at `out`
// (no terminator) and returns the end of what it wrote.
char *formatFloat(char *out, float value);

// Writes `value` as "%d" does; at most kMaxIntText bytes, no terminator.
char *formatInt(char *out, int value);

// One line of a BSV2 file, with its newline: "%f %f %f\n" of three
// coordinates, "%d %d %d\n" of three vertex numbers, or "%d\n" of a count.
// Each writes at most kMaxLineText bytes and returns the end.
char *formatVertexLine(char *out, const float coordinates[3]);
char *formatTriangleLine(char *out, const int corners[3]);
char *formatCountLine(char *out, int count);

}  // namespace bsv2_internal

#endif
