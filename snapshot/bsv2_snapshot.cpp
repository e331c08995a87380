// bsv2-snapshot: the picture bsv2-viewer shows, without a window.
//
//   bsv2-snapshot [--size N] [FIRST.bsv2 [SECOND.bsv2]] OUTPUT.png
//
// Draws the first model in green and the second in red over it, with the
// viewer's camera, projection and outlines (the viewer's own drawing code),
// as the viewer's window shows them once its frame is complete, offscreen
// through EGL, and writes an N x N PNG (500 x 500 by default, the viewer's
// window). A file that cannot be read is left out, as the viewer leaves it
// out, with one line on standard error.
//
// Exit status: 0 done (some model was read, or no file was given: a black
// picture), 1 every file given failed (no picture), 2 usage error, 3 the
// output cannot be written, 4 nothing can be drawn (no EGL). The PNG
// appears whole or not at all, by the rules of whole_output.h: never over
// one of the models, nor over a file that is neither empty nor a PNG (a
// model given where the picture should go), which is refused before
// anything is drawn.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "offscreen.h"
#include "picture.h"
#include "png_write.h"
#include "shape.h"
#include "view_setup.h"
#include "whole_output.h"

// In AddressSanitizer builds only (the hook is unused otherwise): Mesa's
// driver is unloaded before the leak check runs, and what it keeps for the
// process's life is then reported as leaks nobody can place or suppress.
extern "C" const char *__asan_default_options() { return "detect_leaks=0"; }

namespace {

const char kUsage[] =
    "Usage: bsv2-snapshot [--size N] [FIRST.bsv2 [SECOND.bsv2]] OUTPUT.png\n"
    "Draws the picture bsv2-viewer shows of the models (the first green, the second red\n"
    "over it) without a window, and writes it as a PNG of N x N pixels (default 500).\n"
    "Exit status: 0 done, 1 no file could be read, 2 usage error, 3 output unwritable,\n"
    "4 nothing can be drawn (no EGL).\n";

const int kMaxSize = 8192;

enum ExitStatus { kDone = 0, kNothingRead = 1, kUsageError = 2, kOutputFailed = 3, kCannotDraw = 4 };

int usageError(const std::string &problem) {
    std::fprintf(stderr, "bsv2-snapshot: %s\n%s", problem.c_str(), kUsage);
    return kUsageError;
}

// The first bytes of every PNG file.
const char kPngSignature[] = "\x89PNG\r\n\x1a\n";

// One line for an output that is not written; a file in the way is most
// likely a model given in the viewer's two-file form, so the line says
// which argument is the output.
int outputFailed(const char *output, const OutputError &error) {
    const char *which = error.failure == OutputFailure::kWouldLoseData ? " (the output is the last file named)" : "";
    std::fprintf(stderr, "bsv2-snapshot: %s: %s%s\n", output, error.reason.c_str(), which);
    return kOutputFailed;
}

// The file's shape, or null with the reader's message on one line.
Shape readModel(const char *path) {
    char message[128];
    Bsv2Cause cause = BSV2_CAUSE_NONE;
    int systemError = 0;
    Shape shape = readShapeFromFileWithCause(path, message, sizeof message, &cause, &systemError);
    if (shape != nullptr) return shape;
    std::string reason = cause == BSV2_CAUSE_NO_MEMORY ? "is too large for the memory available" : message;
    while (!reason.empty() && reason.back() == '\n') reason.pop_back();
    if (systemError != 0) reason += std::string(" (") + std::strerror(systemError) + ")";
    std::fprintf(stderr, "bsv2-snapshot: %s: %s\n", path, reason.c_str());
    return nullptr;
}

}  // namespace

int main(int argc, char **argv) {
    int size = kViewXMax - kViewXMin;
    std::vector<const char *> paths;
    bool optionsEnded = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            paths.push_back(argv[i]);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return kDone;
        } else if (arg == "--version") {
            std::printf("bsv2-snapshot %s\n", BSV2_VERSION_STRING);
            return kDone;
        } else if (arg == "--size") {
            char *end = nullptr;
            long value = i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : 0;
            if (end == nullptr || end == argv[i + 1] || *end != '\0' || value < 1 || value > kMaxSize)
                return usageError("--size needs a whole number from 1 to " + std::to_string(kMaxSize));
            size = static_cast<int>(value);
            i++;
        } else {
            return usageError("unknown option " + arg);
        }
    }
    if (paths.empty()) return usageError("an output file is needed");
    if (paths.size() > 3) return usageError("at most two models and an output file");
    const char *output = paths.back();
    paths.pop_back();

    OutputRules rules;
    rules.inputs.assign(paths.begin(), paths.end());
    rules.signature = kPngSignature;
    rules.kind = "a PNG file";
    OutputTarget target;
    OutputError error;
    if (!prepareOutput(output, rules, &target, &error)) return outputFailed(output, error);

    Shape models[2] = {nullptr, nullptr};
    for (std::size_t i = 0; i < paths.size(); i++) models[i] = readModel(paths[i]);
    if (!paths.empty() && models[0] == nullptr && models[1] == nullptr) {
        releaseOutput(&target);
        return kNothingRead;
    }

    Offscreen offscreen;
    std::string reason;
    if (!openOffscreen(size, &offscreen, &reason)) {
        std::fprintf(stderr, "bsv2-snapshot: cannot draw without a window: %s\n", reason.c_str());
        releaseOutput(&target);
        return kCannotDraw;
    }
    drawPicture(size, models[0], models[1]);
    std::vector<unsigned char> picture = readPicture(offscreen);
    closeOffscreen(&offscreen);
    destroyShape(models[0]);
    destroyShape(models[1]);

    bool written = writeOutput(
        target, rules, [&](const char *path, std::string *why) { return writePng(path, size, size, picture, why); },
        &error);
    releaseOutput(&target);
    return written ? kDone : outputFailed(output, error);
}
