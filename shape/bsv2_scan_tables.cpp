// The scanner's tables: runs of numbers read in one loop that keeps its
// place in a register, falling back to scanInt and scanFloat one number at a
// time near the buffer's end or at anything unusual.
#include "bsv2_scan.h"

namespace bsv2_internal {

namespace {

// The next number's start past whitespace, if it lies well inside the
// buffer; null otherwise.
inline const unsigned char *quickStart(const unsigned char *p, const unsigned char *end) {
    while (isScanSpace(*p)) p++;
    return static_cast<std::size_t>(end - p) >= kScanLookahead ? p : nullptr;
}

}  // namespace

ScanResult scanFloatTable(Bsv2Scanner *scanner, float *out, long count) {
    long i = 0;
    while (i < count) {
        const unsigned char *p = scanner->buffer + scanner->pos;
        const unsigned char *end = scanner->buffer + scanner->end;
        for (const unsigned char *start; i < count && (start = quickStart(p, end)) != nullptr; i++) {
            const unsigned char *after = parsePlainFloat(start, out + i);
            if (after == nullptr) break;
            p = after;
        }
        scanner->pos = static_cast<std::size_t>(p - scanner->buffer);
        if (i == count) break;
        ScanResult result = scanFloat(scanner, out + i);
        if (result != kScanRead) return result;
        i++;
    }
    return kScanRead;
}

TriangleTableResult scanTriangleTable(Bsv2Scanner *scanner, int *out, long numTris, int numVertices) {
    const unsigned limit = static_cast<unsigned>(numVertices);
    long j = 0;
    while (j < numTris) {
        const unsigned char *p = scanner->buffer + scanner->pos;
        const unsigned char *end = scanner->buffer + scanner->end;
        for (; j < numTris; j++) {
            int *corners = out + 3 * j;
            const unsigned char *at = quickStart(p, end);
            const unsigned char *after = at != nullptr ? parseTriangle(at, corners) : nullptr;
            if (at != nullptr && after == nullptr) {
                // Any other layout, number by number.
                after = parseInteger(at, corners);
                for (int c = 1; c < 3 && after != nullptr; c++) {
                    after = quickStart(after, end);
                    if (after != nullptr) after = parseInteger(after, corners + c);
                }
            }
            if (after == nullptr) break;  // this triangle takes the long way
            p = after;
            if (!cornersBelow(corners, limit)) {
                scanner->pos = static_cast<std::size_t>(p - scanner->buffer);
                return kTriangleOutOfRange;
            }
        }
        scanner->pos = static_cast<std::size_t>(p - scanner->buffer);
        if (j == numTris) break;
        int *corners = out + 3 * j;
        for (int c = 0; c < 3; c++) {
            if (scanInt(scanner, corners + c) != kScanRead) return kTriangleUnreadable;
        }
        if (!cornersBelow(corners, limit)) return kTriangleOutOfRange;
        j++;
    }
    return kTrianglesRead;
}

}  // namespace bsv2_internal
