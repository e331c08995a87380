// The causes of failed reads and writes as short English texts.
#include "shape.h"

const char *bsv2CauseText(Bsv2Cause cause) {
    // No default: the compiler then names any cause added without a text.
    switch (cause) {
        case BSV2_CAUSE_NONE:
            return "no failure";
        case BSV2_CAUSE_CANNOT_OPEN:
            return "the file cannot be opened";
        case BSV2_CAUSE_CANNOT_READ:
            return "the file cannot be read";
        case BSV2_CAUSE_ENDS_EARLY:
            return "the input ends before its counts";
        case BSV2_CAUSE_NOT_BSV2:
            return "not a BSV2 file";
        case BSV2_CAUSE_BAD_VERTEX_COUNT:
            return "the vertex count is not a number of at least 1";
        case BSV2_CAUSE_BAD_TRIANGLE_COUNT:
            return "the triangle count is missing or not a 32-bit number";
        case BSV2_CAUSE_BAD_VERTEX:
            return "a vertex is short or not three numbers";
        case BSV2_CAUSE_BAD_TRIANGLE:
            return "a triangle is short or not three 32-bit numbers";
        case BSV2_CAUSE_VERTEX_OUT_OF_RANGE:
            return "a triangle names a vertex that does not exist";
        case BSV2_CAUSE_NO_MEMORY:
            return "too large for the memory available";
        case BSV2_CAUSE_BAD_ARGUMENT:
            return "no shape, no file name, or a shape without its tables";
        case BSV2_CAUSE_CANNOT_WRITE:
            return "the file cannot be written";
    }
    // A value from a newer library, or no cause at all.
    return "unknown cause";
}
