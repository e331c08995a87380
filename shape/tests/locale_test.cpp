// The reader and writer under a locale whose decimal separator is a comma:
// a host program may call setlocale(LC_ALL, ""), and BSV2 files must read
// and write the same bytes all the same.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>

#include "outcome.h"
#include "reference_bsv2.h"
#include "shape.h"

namespace {

// Switches to the first installed locale that writes 1.5 as "1,5"; false
// (still in the C locale) when none is installed.
bool useCommaLocale() {
    for (const char *name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "fr_FR", "ru_RU.UTF-8", "nl_NL.UTF-8"}) {
        if (std::setlocale(LC_ALL, name) == nullptr) continue;
        char text[16];
        std::snprintf(text, sizeof text, "%.1f", 1.5);
        if (std::string(text) == "1,5") return true;
    }
    std::setlocale(LC_ALL, "C");
    return false;
}

const std::string kFile = "BSV2\n2\n1\n1.5 -0.25 1e3\n0x1.8p1 inf -2.5E-1\n0 1 1\n";

TEST(Locale, CommaDecimalLocaleChangesNeitherWhatIsReadNorWhatIsWritten) {
    ReadOutcome readInC = readBytesOutcome(readShapeFromFile, kFile);
    ASSERT_TRUE(readInC.loaded) << describe(readInC);
    Shape shape = createShape(2, 1);
    const float coordinates[] = {1.5f, -0.25f, 1000.0f, 3.0f, 12345.678f, -0.000001f};
    std::copy(coordinates, coordinates + 6, shape->vTable);
    shape->tTable[0] = 0;
    shape->tTable[1] = shape->tTable[2] = 1;
    WriteOutcome writtenInC = writeOutcome(writeShapeToFile, shape);

    if (!useCommaLocale()) {
        destroyShape(shape);
        GTEST_SKIP() << "no comma-decimal locale is installed (Debian: locales-all)";
    }
    // The C library now reads and writes commas: the reference is fooled.
    EXPECT_NE(writeOutcome(referenceWriteShapeToFile, shape).bytes, writtenInC.bytes);
    EXPECT_NE(readBytesOutcome(referenceReadShapeFromFile, kFile), readInC);
    // The library is not.
    ReadOutcome readInComma = readBytesOutcome(readShapeFromFile, kFile);
    WriteOutcome writtenInComma = writeOutcome(writeShapeToFile, shape);
    std::setlocale(LC_ALL, "C");
    EXPECT_TRUE(readInComma == readInC) << describe(readInComma) << "\n" << describe(readInC);
    EXPECT_EQ(writtenInComma.bytes, writtenInC.bytes);
    EXPECT_EQ(writtenInC.bytes, "BSV2\n2\n1\n1.500000 -0.250000 1000.000000\n3.000000 12345.677734 -0.000001\n0 1 1\n");
    destroyShape(shape);
}

}  // namespace
