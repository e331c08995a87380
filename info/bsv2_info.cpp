// bsv2-info: reads BSV2 files and says what each holds.
//   bsv2-info [--] FILE...
//   bsv2-info --version | -h | --help
// Standard output gets one line per file, "FILE: V vertices, T triangles"
// or "FILE: refused"; standard error gets "FILE: reason" for each refused
// one, the reason being the reader's message (with the system's, when a
// file cannot be opened or read). Nothing else is printed: a table that
// cannot be allocated is a reason like any other.
// Exit status: 0 when every file loaded, 1 when any was refused, 2 for a
// usage error.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "shape.h"

namespace {

const char kUsage[] =
    "Usage: bsv2-info [--] FILE...\n"
    "Says how many vertices and triangles each BSV2 file holds.\n";

// The reader's message on one line, with the system's reason where there
// is one.
std::string reasonFor(const char *message, Bsv2Cause cause, int systemError) {
    std::string reason = message;
    while (!reason.empty() && reason.back() == '\n') reason.pop_back();
    if (cause == BSV2_CAUSE_NO_MEMORY) reason = "its tables cannot be allocated";
    if (systemError != 0) reason += std::string(" (") + std::strerror(systemError) + ")";
    return reason;
}

}  // namespace

int main(int argc, char **argv) {
    std::vector<const char *> files;
    bool optionsEnded = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
            files.push_back(argv[i]);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("bsv2-info %s\n", BSV2_VERSION_STRING);
            return 0;
        } else {
            std::fprintf(stderr, "bsv2-info: unknown option %s\n%s", argv[i], kUsage);
            return 2;
        }
    }
    if (files.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    int status = 0;
    for (const char *file : files) {
        char message[128];
        Bsv2Cause cause = BSV2_CAUSE_NONE;
        int systemError = 0;
        Shape shape = readShapeFromFileWithCause(file, message, sizeof message, &cause, &systemError);
        if (shape == nullptr) {
            std::printf("%s: refused\n", file);
            std::fflush(stdout);
            std::fprintf(stderr, "%s: %s\n", file, reasonFor(message, cause, systemError).c_str());
            status = 1;
            continue;
        }
        std::printf("%s: %d vertices, %d triangles\n", file, shape->numVertices, numTriangles(shape));
        destroyShape(shape);
    }
    return status;
}
