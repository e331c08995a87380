// Fuzz target: the library's reader and writer against the reference ones
// built on the C library's formatted input and output. On any bytes both
// readers must give the same outcome (shape or refusal, every message, every
// number bit for bit), and both writers (and the library's writer to
// memory) the same bytes for what was read.
#include <cstdio>
#include <string>

#include "fuzz_support.h"
#include "outcome.h"
#include "reference_bsv2.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char *>(data), size);
    ReadOutcome reference = readBytesOutcome(referenceReadShapeFromFile, bytes);
    ReadOutcome library = readBytesOutcome(readShapeFromFile, bytes);
    if (library != reference) {
        std::fprintf(stderr, "library:   %s\nreference: %s\n", describe(library).c_str(), describe(reference).c_str());
        require(false, "both readers give the same outcome");
    }
    if (!library.loaded) return 0;

    MemoryFile input = makeMemoryFile("bsv2-in", data, size);
    Shape shape = readShapeFromFile(input.path.c_str());
    closeMemoryFile(input);
    require(shape != nullptr, "a file that loaded once loads again");
    WriteOutcome referenceWrite = writeOutcome(referenceWriteShapeToFile, shape);
    WriteOutcome libraryWrite = writeOutcome(writeShapeToFile, shape);
    require(libraryWrite.result == 0 && referenceWrite.result == 0, "both writers succeed");
    require(libraryWrite.bytes == referenceWrite.bytes, "both writers write the same bytes");
    char *text = nullptr;
    std::size_t length = 0;
    require(writeShapeToMemory(shape, &text, &length, nullptr) == 0, "the writer to memory succeeds");
    require(std::string(text, length) == libraryWrite.bytes, "memory holds the bytes the file holds");
    releaseShapeText(text);
    destroyShape(shape);
    return 0;
}
