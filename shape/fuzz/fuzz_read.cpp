// Fuzz target: the reader on any bytes, from a file and from memory. It must
// never crash, leak or misbehave, any shape it returns must be whole and
// consistent, memory must give what the file gives, and a read with the
// second thread (allowed here for files of any size) what one thread gives.
#include <cstring>

#include "fuzz_support.h"
#include "shape_split.h"

namespace {

bool sameShape(Shape a, Shape b) {
    if (a == nullptr || b == nullptr) return a == b;
    if (a->numVertices != b->numVertices || a->numTris != b->numTris) return false;
    std::size_t corners = 3 * static_cast<std::size_t>(a->numTris > 0 ? a->numTris : 0);
    return std::memcmp(a->vTable, b->vTable, 3 * static_cast<std::size_t>(a->numVertices) * sizeof(float)) == 0 &&
           (corners == 0 || std::memcmp(a->tTable, b->tTable, corners * sizeof(int)) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    bsv2_internal::setSecondThreadBytes(1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    MemoryFile file = makeMemoryFile("bsv2-read", data, size);
    char fileMessage[128];
    Bsv2Cause fileCause = BSV2_CAUSE_NONE;
    bsv2ReadOnOneThread(1);
    Shape shape = readShapeFromFileWithCause(file.path.c_str(), fileMessage, sizeof fileMessage, &fileCause, nullptr);
    bsv2ReadOnOneThread(0);
    if (shape != nullptr) requireConsistentShape(shape, data, size);

    // Every other input with the helper's part as large as it can be.
    bsv2_internal::setHelperGoesFirst(size % 2 == 0);
    char twoMessage[128];
    Bsv2Cause twoCause = BSV2_CAUSE_NONE;
    Shape twoThreads = readShapeFromFileWithCause(file.path.c_str(), twoMessage, sizeof twoMessage, &twoCause, nullptr);
    closeMemoryFile(file);
    require(twoCause == fileCause, "two threads give one thread's cause");
    require(std::strcmp(twoMessage, fileMessage) == 0, "two threads give one thread's message");
    require(sameShape(shape, twoThreads), "two threads give one thread's shape");
    destroyShape(twoThreads);

    char memoryMessage[128];
    Bsv2Cause memoryCause = BSV2_CAUSE_NONE;
    Shape fromMemory = readShapeFromMemory(reinterpret_cast<const char *>(data), size, memoryMessage,
                                           sizeof memoryMessage, &memoryCause);
    // Counts the file reader could not allocate, the memory reader refuses
    // as if it had.
    if (fileCause != BSV2_CAUSE_NO_MEMORY) {
        require(memoryCause == fileCause, "memory gives the file's cause");
        require(std::strcmp(memoryMessage, fileMessage) == 0, "memory gives the file's message");
        require(sameShape(shape, fromMemory), "memory gives the file's shape");
    }
    destroyShape(fromMemory);
    destroyShape(shape);
    return 0;
}
