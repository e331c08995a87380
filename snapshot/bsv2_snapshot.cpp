// bsv2-snapshot: the picture bsv2-viewer shows, without a window.
//
//   bsv2-snapshot [--thumbnail] [--size N] [FIRST.bsv2 [SECOND.bsv2]] OUTPUT.png
//
// Draws the first model in green and the second in red over it, with the
// viewer's camera, projection and outlines (the viewer's own drawing code),
// as the viewer's window shows them once its frame is complete, offscreen
// through EGL, and writes an N x N PNG (500 x 500 by default, the viewer's
// window). A file that cannot be read is left out, as the viewer leaves it
// out, with one line on standard error.
//
// With --thumbnail (as file managers run it, unattended, on every file they
// show) it keeps to a fixed budget (thumbnail_budget.h): a model's data and
// its drawing are weighed before they are read or drawn, and the CPU time
// is limited; past the budget it gives up with one line, no PNG and status
// 5, and reads only regular files (a pipe could keep it waiting).
//
// Exit status: 0 done (some model was read, or no file was given: a black
// picture), 1 every file given failed (no picture), 2 usage error, 3 the
// output cannot be written, 4 nothing can be drawn (no EGL), 5 over the
// thumbnail budget. The PNG appears whole or not at all, by the rules of
// whole_output.h (a run ended by SIGINT, SIGTERM or SIGHUP included):
// never over one of the models, nor over a file that is neither empty nor
// a PNG (a model given where the picture should go), which is refused
// before anything is drawn.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "claimed_counts.h"
#include "command_line.h"
#include "offscreen.h"
#include "picture.h"
#include "png_write.h"
#include "read_reason.h"
#include "shape.h"
#include "thumbnail_budget.h"
#include "view_setup.h"
#include "weighed_read.h"
#include "whole_output.h"

namespace {

enum ExitStatus { kDone = 0, kNothingRead = 1, kUsageError = 2, kOutputFailed = 3, kCannotDraw = 4, kOverBudget = 5 };

const ProgramInfo kProgram = {"bsv2-snapshot",
                              "Usage: bsv2-snapshot [--thumbnail] [--size N] [FIRST.bsv2 [SECOND.bsv2]] OUTPUT.png\n"
                              "Draws the picture bsv2-viewer shows of the models (the first green, the second red\n"
                              "over it) without a window, and writes it as a PNG of N x N pixels (default 500).\n"
                              "--thumbnail keeps to a thumbnailer's fixed budget of CPU time and memory.\n"
                              "Exit status: 0 done, 1 no file could be read, 2 usage error, 3 output unwritable,\n"
                              "4 nothing can be drawn (no EGL), 5 over the thumbnail budget.\n",
                              kUsageError, nullptr};

const int kMaxSize = 8192;

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

// One line about a model that is left out.
void leftOut(const char *path, const std::string &reason) {
    std::fprintf(stderr, "bsv2-snapshot: %s: %s\n", path, reason.c_str());
}

// What readModel found.
enum class Read { kModel, kLeftOut, kOverBudget };

// Reads the model at `path` into *shape. The file is looked at before it
// is opened (opening a device can act on it, opening a pipe lets its writer
// go on), and from then on read as the file found, whatever its name comes
// to lead to. Its header is read first, so that counts its length cannot
// hold are refused before anything is allocated, and within a budget the
// tables are weighed first and the reader is given those counts
// (weighed_read.h). A file that cannot be read is left out with the
// reader's message on one line (or the snapshot's own reason); with a
// budget, so is anything but a regular file.
Read readModel(const char *path, ThumbnailBudget *budget, Shape *shape) {
    *shape = nullptr;
    // A file that cannot be found is left to the reader, which says so.
    int found = open(path, O_PATH | O_CLOEXEC);
    struct stat info;
    bool regular = found >= 0 && fstat(found, &info) == 0 && S_ISREG(info.st_mode);
    if (found >= 0 && !regular) {
        close(found);
        found = -1;
        if (budget->limited) {
            leftOut(path, "is not a regular file, and a thumbnail is made only of one");
            return Read::kLeftOut;
        }
    }
    std::string readFrom = regular ? descriptorPath(found, path) : path;
    int fd = regular ? open(readFrom.c_str(), O_RDONLY | O_CLOEXEC) : -1;
    auto closeBoth = [&] {
        if (fd >= 0) close(fd);
        if (found >= 0) close(found);
    };
    ClaimedCounts counts;
    if (fd >= 0) {
        counts = readClaimedCounts(fd, info.st_size);
        if (counts.known && !countsFitTheFile(counts)) {
            closeBoth();
            leftOut(path, "claims " + std::to_string(counts.vertices) + " vertices and " +
                              std::to_string(counts.triangles) + " triangles, more than its " +
                              std::to_string(info.st_size) + " bytes can hold");
            return Read::kLeftOut;
        }
        if (counts.known &&
            !takeData(budget, modelBytes(counts.vertices, counts.triangles), std::string(path) + ": its tables need")) {
            closeBoth();
            return Read::kOverBudget;
        }
    }
    char message[128];
    Bsv2Cause cause = BSV2_CAUSE_NONE;
    int systemError = 0;
    if (budget->limited && counts.known)
        *shape = readWeighedModel(fd, counts, readFrom, message, sizeof message, &cause, &systemError);
    else
        *shape = readShapeFromFileWithCause(readFrom.c_str(), message, sizeof message, &cause, &systemError);
    closeBoth();
    if (*shape != nullptr) {
        // The tables as read, should the file have changed since its header
        // was read (or that header was one only the reader understood).
        if (counts.known) budget->dataBytes -= modelBytes(counts.vertices, counts.triangles);
        if (takeData(budget, modelBytes((*shape)->numVertices, (*shape)->numTris),
                     std::string(path) + ": its tables need"))
            return Read::kModel;
        destroyShape(*shape);
        *shape = nullptr;
        return Read::kOverBudget;
    }
    leftOut(path, readReason(message, cause, systemError));
    return Read::kLeftOut;
}

// A whole number from 1 to kMaxSize from --size's argument, or false.
bool pictureSize(const char *text, int *size) {
    char *end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 1 || value > kMaxSize) return false;
    *size = static_cast<int>(value);
    return true;
}

// Reads the command line: the size, the budget, the files named (the
// models, then the output). False when the run ends here, with its exit
// status in *status (help, version, a usage error).
bool readCommandLine(int argc, char **argv, int *size, ThumbnailBudget *budget, std::vector<const char *> *paths,
                     int *status) {
    ArgumentReader reader = {argc, argv};
    const char *arg = nullptr;
    for (ArgumentKind kind; (kind = nextArgument(&reader, &arg)) != ArgumentKind::kEnd;) {
        std::string option = kind == ArgumentKind::kOption ? arg : "";
        const char *value = nullptr;
        if (kind == ArgumentKind::kFile) {
            paths->push_back(arg);
        } else if (option == "--size") {
            if (!optionValue(&reader, &value) || !pictureSize(value, size))
                *status = usageError(kProgram, "--size needs a whole number from 1 to " + std::to_string(kMaxSize));
        } else if (option == "--thumbnail") {
            budget->limited = true;
        } else {
            *status = sharedOption(kProgram, arg);
            return false;
        }
        if (*status != kDone) return false;
    }
    if (paths->empty()) *status = usageError(kProgram, "an output file is needed");
    if (paths->size() > 3) *status = usageError(kProgram, "at most two models and an output file");
    return *status == kDone;
}

// Reads the models named in `paths` into models[] (a file that cannot be
// read leaves its slot null) and, within a budget, weighs their drawing
// before anything is drawn. Returns kDone, kOverBudget or kNothingRead
// (every file given was left out); the models are the caller's either way.
int readModels(const std::vector<const char *> &paths, int size, ThumbnailBudget *budget, Shape models[2]) {
    for (std::size_t i = 0; i < paths.size(); i++) {
        if (readModel(paths[i], budget, &models[i]) == Read::kOverBudget) return kOverBudget;
    }
    for (std::size_t i = 0; i < paths.size() && budget->limited; i++) {
        budget->linePixels += leastDrawingCost(models[i], size, kThumbnailLinePixels - budget->linePixels);
        if (budget->linePixels > kThumbnailLinePixels) {
            std::fprintf(stderr,
                         "bsv2-snapshot: %s: its lines would cover more than the thumbnail budget of %.0f million "
                         "pixels at %d x %d\n",
                         paths[i], kThumbnailLinePixels / 1e6, size, size);
            return kOverBudget;
        }
    }
    return !paths.empty() && models[0] == nullptr && models[1] == nullptr ? kNothingRead : kDone;
}

// Draws the two models offscreen, releases them (setting both slots null)
// so that the write does not hold them too, and writes the picture to
// `target`. Returns the exit status, having said why on failure.
int drawAndWrite(int size, Shape models[2], const char *output, const OutputTarget &target, const OutputRules &rules) {
    Offscreen offscreen;
    std::string reason;
    if (!openOffscreen(size, &offscreen, &reason)) {
        std::fprintf(stderr, "bsv2-snapshot: cannot draw without a window: %s\n", reason.c_str());
        return kCannotDraw;
    }
    drawPicture(size, models[0], models[1]);
    std::vector<unsigned char> picture = readPicture(offscreen);
    closeOffscreen(&offscreen);
    for (int i = 0; i < 2; i++) {
        destroyShape(models[i]);
        models[i] = nullptr;
    }
    OutputError error;
    bool written = writeOutput(
        target, rules, [&](const char *path, std::string *why) { return writePng(path, size, size, picture, why); },
        &error);
    return written ? kDone : outputFailed(output, error);
}

}  // namespace

int main(int argc, char **argv) {
    int size = Vx_max - Vx_min;
    ThumbnailBudget budget;
    std::vector<const char *> paths;
    int status = kDone;
    if (!readCommandLine(argc, argv, &size, &budget, &paths, &status)) return status;
    const char *output = paths.back();
    paths.pop_back();
    if (budget.limited && !startBudget(size, &budget, kOverBudget)) return kOverBudget;

    OutputRules rules;
    rules.inputs.assign(paths.begin(), paths.end());
    rules.signature = kPngSignature;
    rules.kind = "a PNG file";
    rules.undoableFromSignal = true;
    abandonOutputOnTermination();
    OutputTarget target;
    OutputError error;
    if (!prepareOutput(output, rules, &target, &error)) return outputFailed(output, error);
    Shape models[2] = {nullptr, nullptr};
    status = readModels(paths, size, &budget, models);
    if (status == kDone) status = drawAndWrite(size, models, output, target, rules);
    destroyShape(models[0]);
    destroyShape(models[1]);
    releaseOutput(&target);
    return status;
}
