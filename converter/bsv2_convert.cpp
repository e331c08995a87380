// bsv2-convert: converts meshes between BSV2 and the common mesh formats,
// optionally moving and scaling them into the viewer's fixed view.
//
//   bsv2-convert [--fit] [--timeout SECONDS] [--max-memory MIB] INPUT OUTPUT
//
// Every input but BSV2 is read by Assimp in a child process of its own,
// capped in time and memory and sandboxed (import_isolated.h): a hostile
// file can make the import fail, but not hang, crash or exhaust the machine.
//
// Exit status: 0 done, 1 usage error, 2 the input cannot be read (or has
// nothing to convert), 3 the output cannot be written. The output appears
// whole or not at all, where it was and with the permission bits it had,
// and never over the input, but for BSV2 to BSV2, where fitting a file in
// place is read whole before it is written (whole_output.h).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "file_names.h"
#include "import_isolated.h"
#include "plain_export.h"
#include "progress.h"
#include "sandbox.h"
#include "shape.h"
#include "view_fit.h"
#include "whole_output.h"

// In AddressSanitizer builds only (the hook is unused otherwise): the
// import child cannot have its address space capped under the sanitizer, so
// single allocations are capped instead, and a hostile file cannot make it
// reserve tens of gigabytes at once.
extern "C" const char *__asan_default_options() { return "max_allocation_size_mb=2048"; }

namespace {

const char kUsage[] =
    "Usage: bsv2-convert [--fit] [--timeout SECONDS] [--max-memory MIB] INPUT OUTPUT\n"
    "Converts a mesh between BSV2 (.bsv2) and the formats of the Assimp library.\n"
    "  INPUT   a .bsv2 file, or any mesh Assimp reads (.obj, .ply, .stl, .off, .gltf, .glb, ...):\n"
    "          all its meshes become one, with their transforms applied, polygons split\n"
    "          into triangles and vertices at the same position joined; points and lines\n"
    "          are left out\n"
    "  OUTPUT  .bsv2, .obj, .ply (binary), .stl (binary) or .glb\n"
    "  --fit   move and scale the model so that all of it is in the viewer's view and\n"
    "          fills most of it\n"
    "  --timeout SECONDS  time an import may take (default 10 s plus 1 s per MB the input\n"
    "          occupies on disk, at most 10 minutes)\n"
    "  --max-memory MIB   memory an import may use (default 1024 MiB plus 16 times what the\n"
    "          input occupies, at most half the machine's memory)\n"
    "Imports other than BSV2 run in a sandboxed child process under these limits.\n"
    "Exit status: 0 done, 1 usage error, 2 input unreadable, 3 output unwritable.\n";

const double kFitShare = 0.9;

enum ExitStatus { kDone = 0, kUsageError = 1, kInputFailed = 2, kOutputFailed = 3 };

// The options of the command line.
struct Options {
    bool fit = false;
    double timeout = 0;    // 0: the default for the input's size
    double maxMemory = 0;  // 0: the default for the input's size
};

int fail(ExitStatus status, const std::string &file, const std::string &reason) {
    endProgress();
    std::fprintf(stderr, "bsv2-convert: %s: %s\n", file.c_str(), reason.c_str());
    return status;
}

// The reader's own message, on one line.
std::string oneLine(std::string message) {
    std::replace(message.begin(), message.end(), '\n', ' ');
    while (!message.empty() && message.back() == ' ') message.pop_back();
    return message;
}

std::string counted(long count, const char *noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// A positive number from an option's argument, or false.
bool positiveNumber(const char *text, double *value) {
    char *end = nullptr;
    errno = 0;
    *value = std::strtod(text, &end);
    return end != text && *end == '\0' && errno == 0 && std::isfinite(*value) && *value > 0;
}

bool allCoordinatesFinite(Shape shape) {
    for (long i = 0; i < 3L * shape->numVertices; i++) {
        if (!std::isfinite(shape->vTable[i])) return false;
    }
    return true;
}

Shape readBsv2(const std::string &path, std::string *reason) {
    char message[128];
    Bsv2Cause cause = BSV2_CAUSE_NONE;
    int systemError = 0;
    Shape shape = readShapeFromFileWithCause(path.c_str(), message, sizeof message, &cause, &systemError);
    if (shape != nullptr) return shape;
    if (cause == BSV2_CAUSE_NO_MEMORY) {
        *reason = "is too large for the memory available";
    } else {
        *reason = oneLine(message);
        if (systemError != 0) *reason += std::string(" (") + std::strerror(systemError) + ")";
    }
    return nullptr;
}

// Writes the shape as BSV2 to `path`.
bool writeBsv2(Shape shape, const char *path, std::string *reason) {
    Bsv2Cause cause = BSV2_CAUSE_NONE;
    int systemError = 0;
    // The library's message names the temporary file; the system's reason
    // says more.
    if (writeShapeToFileWithCause(shape, path, nullptr, 0, &cause, &systemError) == 0) return true;
    *reason = systemError != 0 ? std::strerror(systemError) : "cannot be written";
    return false;
}

// True when the output is the file standard output goes to.
bool isStandardOutput(const OutputTarget &target) {
    struct stat output, standard;
    return statOutput(target, &output) == 0 && fstat(STDOUT_FILENO, &standard) == 0 &&
           output.st_dev == standard.st_dev && output.st_ino == standard.st_ino;
}

// Reads or imports `input`, checks it, and writes it to `target`, the
// place `output` names; the exit status.
int convert(const std::string &input, const std::string &output, const OutputTarget &target, const OutputRules &rules,
            const Options &options) {
    std::string outputExtension = lowerExtension(output);
    PlainWriter plainWriter = plainWriterFor(outputExtension);
    bool toBsv2 = plainWriter == nullptr;
    std::string reason;
    LeftOut leftOut;
    Shape shape = nullptr;

    std::string reading = "reading " + input;
    if (lowerExtension(input) == ".bsv2") {
        startProgress(reading.c_str());
        shape = readBsv2(input, &reason);
        endProgress();
    } else {
        // Before any thread starts: the import forks.
        ImportLimits limits = defaultImportLimits(input.c_str());
        if (options.timeout > 0) limits.seconds = options.timeout;
        if (options.maxMemory > 0) limits.memoryMiB = static_cast<unsigned long long>(std::ceil(options.maxMemory));
        shape = importIsolated(input.c_str(), limits, reading.c_str(), &leftOut, &reason);
    }
    if (shape == nullptr) return fail(kInputFailed, input, reason);
    if (!toBsv2 && numTriangles(shape) <= 0) {
        destroyShape(shape);
        return fail(kInputFailed, input, "has no triangles");
    }
    // Other programs' readers disagree on non-finite numbers, and some
    // formats cannot hold them at all: only BSV2 keeps them.
    if (!toBsv2 && !allCoordinatesFinite(shape)) {
        destroyShape(shape);
        return fail(kInputFailed, input,
                    "has a coordinate that is infinite or not a number, which " + outputExtension +
                        " files cannot hold faithfully (convert to .bsv2)");
    }
    if (options.fit && !fitIntoView(shape, kFitShare)) {
        destroyShape(shape);
        return fail(kInputFailed, input, "cannot be fitted: a coordinate is infinite or not a number");
    }

    startProgress(("writing " + output).c_str());
    OutputError error;
    bool written = writeOutput(
        target, rules,
        [&](const char *path, std::string *reason) {
            return (plainWriter ? plainWriter : writeBsv2)(shape, path, reason);
        },
        &error);
    endProgress();
    int status = written ? kDone : fail(kOutputFailed, output, error.reason);
    // Written to standard output itself (/dev/stdout), the output would
    // end with the summary.
    if (status == kDone && !isStandardOutput(target)) {
        std::printf("%s: %d vertices, %d triangles", output.c_str(), shape->numVertices, numTriangles(shape));
        if (leftOut.points + leftOut.lines > 0) {
            std::printf(" (left out %s and %s)", counted(leftOut.points, "point").c_str(),
                        counted(leftOut.lines, "line").c_str());
        }
        std::printf("\n");
    }
    destroyShape(shape);
    return status;
}

}  // namespace

int main(int argc, char **argv) {
    Options options;
    std::string files[2];
    int numFiles = 0;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return kDone;
        }
        if (arg == "--version") {
            std::printf("bsv2-convert %s\n%s\n", BSV2_VERSION_STRING, sandboxProtections().c_str());
            return kDone;
        }
        if (arg == "--fit") {
            options.fit = true;
        } else if (arg == "--timeout" || arg == "--max-memory") {
            double *value = arg == "--timeout" ? &options.timeout : &options.maxMemory;
            if (i + 1 >= argc || !positiveNumber(argv[i + 1], value)) {
                std::fprintf(stderr, "bsv2-convert: %s needs a positive number\n%s", arg.c_str(), kUsage);
                return kUsageError;
            }
            i++;
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "bsv2-convert: unknown option %s\n%s", arg.c_str(), kUsage);
            return kUsageError;
        } else if (numFiles < 2) {
            files[numFiles++] = arg;
        } else {
            std::fprintf(stderr, "bsv2-convert: too many files\n%s", kUsage);
            return kUsageError;
        }
    }
    if (numFiles < 2) {
        std::fprintf(stderr, "bsv2-convert: an input and an output file are needed\n%s", kUsage);
        return kUsageError;
    }
    const std::string &input = files[0], &output = files[1];
    std::string outputExtension = lowerExtension(output);
    bool toBsv2 = outputExtension == ".bsv2";
    if (!toBsv2 && plainWriterFor(outputExtension) == nullptr) {
        return fail(kUsageError, output,
                    "unknown output format \"" + outputExtension + "\" (use .bsv2, .obj, .ply, .stl or .glb)");
    }

    // Refused before the import, which may take long.
    OutputRules rules;
    if (!(toBsv2 && lowerExtension(input) == ".bsv2")) rules.inputs.push_back(input);
    OutputTarget target;
    OutputError error;
    if (!prepareOutput(output, rules, &target, &error)) return fail(kOutputFailed, output, error.reason);
    int status = convert(input, output, target, rules, options);
    releaseOutput(&target);
    return status;
}
