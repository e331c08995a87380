// Fuzz target: readShapeFromFile on any bytes. It must never crash, leak or
// misbehave, and any shape it returns must be whole and consistent.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    MemoryFile file = makeMemoryFile("bsv2-read", data, size);
    Shape shape = readShapeFromFile(file.path.c_str());
    if (shape != nullptr) requireConsistentShape(shape, data, size);
    destroyShape(shape);
    closeMemoryFile(file);
    return 0;
}
