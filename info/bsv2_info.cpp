// bsv2-info: reads BSV2 files and says what each holds.
//   bsv2-info [--] FILE...
//   bsv2-info --version | -h | --help
// Standard output gets one line per file, "FILE: V vertices, T triangles"
// or "FILE: refused"; standard error gets "FILE: reason" for each refused
// one, the reason being the reader's message (with the system's, when a
// file cannot be opened or read), or the library's text for the cause
// where the reader has no message (a table that cannot be allocated).
// Nothing else is printed.
// Exit status: 0 when every file loaded, 1 when any was refused, 2 for a
// usage error.
#include <cstdio>
#include <vector>

#include "command_line.h"
#include "read_reason.h"
#include "shape.h"

namespace {

const ProgramInfo kProgram = {"bsv2-info",
                              "Usage: bsv2-info [--] FILE...\n"
                              "Says how many vertices and triangles each BSV2 file holds.\n",
                              2, nullptr};

}  // namespace

int main(int argc, char **argv) {
    std::vector<const char *> files;
    ArgumentReader reader = {argc, argv};
    const char *arg = nullptr;
    for (ArgumentKind kind; (kind = nextArgument(&reader, &arg)) != ArgumentKind::kEnd;) {
        if (kind == ArgumentKind::kOption) return sharedOption(kProgram, arg);
        files.push_back(arg);
    }
    if (files.empty()) return usageError(kProgram, "");
    int status = 0;
    for (const char *file : files) {
        char message[128];
        Bsv2Cause cause = BSV2_CAUSE_NONE;
        int systemError = 0;
        Shape shape = readShapeFromFileWithCause(file, message, sizeof message, &cause, &systemError);
        if (shape == nullptr) {
            std::printf("%s: refused\n", file);
            std::fflush(stdout);
            std::fprintf(stderr, "%s: %s\n", file, readReason(message, cause, systemError).c_str());
            status = 1;
            continue;
        }
        std::printf("%s: %d vertices, %d triangles\n", file, shape->numVertices, numTriangles(shape));
        destroyShape(shape);
    }
    return status;
}
