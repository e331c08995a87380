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
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "command_line.h"
#include "file_names.h"
#include "import_isolated.h"
#include "mesh_wire.h"
#include "mesh_writers.h"
#include "progress.h"
#include "read_reason.h"
#include "sandbox.h"
#include "shape.h"
#include "view_fit.h"
#include "whole_output.h"

namespace {

enum ExitStatus { kDone = 0, kUsageError = 1, kInputFailed = 2, kOutputFailed = 3 };

const ProgramInfo kProgram = {
    "bsv2-convert",
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
    "Exit status: 0 done, 1 usage error, 2 input unreadable, 3 output unwritable.\n",
    kUsageError, [] { return sandboxProtections() + "\n"; }};

const double kFitShare = 0.9;

// What the command line asks for.
struct ConvertRequest {
    std::string input, output;
    bool fit = false;
    double timeout = 0;    // 0: the default for the input's size
    double maxMemory = 0;  // 0: the default for the input's size
};

int fail(ExitStatus status, const std::string &file, const std::string &reason) {
    endProgress();
    std::fprintf(stderr, "bsv2-convert: %s: %s\n", file.c_str(), reason.c_str());
    return status;
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

// Reads the command line into *request. False when the run ends here,
// with its exit status in *status (help, version, a usage error).
bool readRequest(int argc, char **argv, ConvertRequest *request, int *status) {
    std::string *files[2] = {&request->input, &request->output};
    int numFiles = 0;
    ArgumentReader reader = {argc, argv};
    const char *arg = nullptr;
    for (ArgumentKind kind; (kind = nextArgument(&reader, &arg)) != ArgumentKind::kEnd;) {
        std::string option = kind == ArgumentKind::kOption ? arg : "";
        const char *value = nullptr;
        if (kind == ArgumentKind::kFile && numFiles < 2) {
            *files[numFiles++] = arg;
        } else if (kind == ArgumentKind::kFile) {
            *status = usageError(kProgram, "too many files");
        } else if (option == "--fit") {
            request->fit = true;
        } else if (option == "--timeout" || option == "--max-memory") {
            double *number = option == "--timeout" ? &request->timeout : &request->maxMemory;
            if (!optionValue(&reader, &value) || !positiveNumber(value, number))
                *status = usageError(kProgram, option + " needs a positive number");
        } else {
            *status = sharedOption(kProgram, arg);
            return false;
        }
        if (*status != kDone) return false;
    }
    if (numFiles < 2) *status = usageError(kProgram, "an input and an output file are needed");
    return *status == kDone;
}

// The input read by the library (BSV2) or imported in the sandbox (the
// rest); null with the reason in *reason.
Shape readInput(const ConvertRequest &request, LeftOut *leftOut, std::string *reason) {
    std::string reading = "reading " + request.input;
    if (lowerExtension(request.input) != ".bsv2") {
        // Before any thread starts: the import forks.
        ImportLimits limits = defaultImportLimits(request.input.c_str());
        if (request.timeout > 0) limits.seconds = request.timeout;
        // More than 64 bits of bytes can count is no cap at all.
        const double mostMiB = static_cast<double>(std::numeric_limits<unsigned long long>::max() >> 20);
        if (request.maxMemory > 0)
            limits.memoryMiB = static_cast<unsigned long long>(std::ceil(std::min(request.maxMemory, mostMiB)));
        return importIsolated(request.input.c_str(), limits, reading.c_str(), leftOut, reason);
    }
    startProgress(reading.c_str());
    char message[128];
    Bsv2Cause cause = BSV2_CAUSE_NONE;
    int systemError = 0;
    Shape shape = readShapeFromFileWithCause(request.input.c_str(), message, sizeof message, &cause, &systemError);
    endProgress();
    if (shape == nullptr) *reason = readReason(message, cause, systemError);
    return shape;
}

// Why the shape cannot become the output, or "" once it is ready (fitted
// into the view when asked).
std::string refusal(Shape shape, const OutputFormat &format, const ConvertRequest &request) {
    if (!format.holdsAnyShape && numTriangles(shape) <= 0) return "has no triangles";
    if (!format.holdsAnyShape && !allCoordinatesFinite(shape))
        return std::string("has a coordinate that is infinite or not a number, which ") + format.extension +
               " files cannot hold faithfully (convert to .bsv2)";
    if (request.fit && !fitIntoView(shape, kFitShare))
        return "cannot be fitted: a coordinate is infinite or not a number";
    return "";
}

// True when the output is the file standard output goes to.
bool isStandardOutput(const OutputTarget &target) {
    struct stat output, standard;
    return statOutput(target, &output) == 0 && fstat(STDOUT_FILENO, &standard) == 0 &&
           output.st_dev == standard.st_dev && output.st_ino == standard.st_ino;
}

// Writes the shape to the target and says what it holds; the exit status.
int writeShape(Shape shape, const OutputFormat &format, const std::string &output, const OutputTarget &target,
               const OutputRules &rules, const LeftOut &leftOut) {
    // Ctrl-C or a kill while writing leaves no temporary file behind. Set
    // only now: the import child, gone by now, must not inherit it.
    abandonOutputOnTermination();
    startProgress(("writing " + output).c_str());
    OutputError error;
    bool written = writeOutput(
        target, rules, [&](const char *path, std::string *reason) { return format.write(shape, path, reason); },
        &error);
    endProgress();
    if (!written) return fail(kOutputFailed, output, error.reason);
    // Written to standard output itself (/dev/stdout), the output would
    // end with the summary.
    if (isStandardOutput(target)) return kDone;
    std::printf("%s: %d vertices, %d triangles", output.c_str(), shape->numVertices, numTriangles(shape));
    if (leftOut.points + leftOut.lines > 0)
        std::printf(" (left out %s and %s)", counted(leftOut.points, "point").c_str(),
                    counted(leftOut.lines, "line").c_str());
    std::printf("\n");
    return kDone;
}

}  // namespace

int main(int argc, char **argv) {
    ConvertRequest request;
    int status = kDone;
    if (!readRequest(argc, argv, &request, &status)) return status;
    const OutputFormat *format = outputFormatFor(lowerExtension(request.output));
    if (format == nullptr)
        return fail(
            kUsageError, request.output,
            "unknown output format \"" + lowerExtension(request.output) + "\" (use " + outputExtensions() + ")");
    // Refused before the import, which may take long. BSV2 to BSV2 may
    // fit a file in place: it is read whole before it is written.
    OutputRules rules;
    rules.undoableFromSignal = true;
    if (!(format->write == writeBsv2 && lowerExtension(request.input) == ".bsv2"))
        rules.inputs.push_back(request.input);
    OutputTarget target;
    OutputError error;
    if (!prepareOutput(request.output, rules, &target, &error))
        return fail(kOutputFailed, request.output, error.reason);
    LeftOut leftOut;
    std::string reason;
    Shape shape = readInput(request, &leftOut, &reason);
    if (shape != nullptr) reason = refusal(shape, *format, request);
    if (!reason.empty()) status = fail(kInputFailed, request.input, reason);
    if (status == kDone) status = writeShape(shape, *format, request.output, target, rules, leftOut);
    destroyShape(shape);
    releaseOutput(&target);
    return status;
}
