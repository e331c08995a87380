// Every tool's command line as a real process: which options it takes,
// what it prints on which stream, and its exit status. The table pins them,
// so that a change to how the tools read their arguments cannot change what
// a user or a script sees.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"
#include "shape.h"
#include "test_files.h"
#include "x_display.h"

namespace {

enum class Tool { kConvert, kInfo, kSnapshot, kViewer };

// The scratch files a row's arguments may name ("@NAME"); a row gets those
// it names and no others.
const std::map<std::string, std::string> kFiles = {
    {"cube.bsv2", "BSV2\n3\n1\n0 0 0\n1 0 0\n0 1 0\n0 1 2\n"},
    {"other.txt", "BSV3\n"},
    {"tri.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"},
};

struct ToolCase {
    const char *name;
    Tool tool;
    std::string args;  // split at spaces; "@NAME" is the path of NAME in the scratch folder
    int status;
    // All the tool writes on each stream, "@" standing for the scratch
    // folder and "$0" for the program's path; text ending in "..." is only
    // what the stream starts with.
    std::string out, err;
};

std::string expand(std::string text, const std::string &folder, const std::string &program) {
    for (std::size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, folder + "/");
    for (std::size_t at; (at = text.find("$0")) != std::string::npos;) text.replace(at, 2, program);
    return text;
}

// What of `stream` the row's text `wanted` stands for: all of it, or as
// much as the text before its "...".
std::string compared(const std::string &stream, std::string *wanted) {
    const std::string more = "...";
    if (wanted->size() < more.size() || wanted->compare(wanted->size() - more.size(), more.size(), more) != 0)
        return stream;
    wanted->resize(wanted->size() - more.size());
    return stream.substr(0, wanted->size());
}

// The program's path; empty when it is not built.
std::string pathOf(Tool tool) {
    switch (tool) {
#ifdef CONVERTER_PATH
        case Tool::kConvert:
            return CONVERTER_PATH;
#endif
#ifdef INFO_PATH
        case Tool::kInfo:
            return INFO_PATH;
#endif
#ifdef SNAPSHOT_PATH
        case Tool::kSnapshot:
            return SNAPSHOT_PATH;
#endif
#ifdef VIEWER_PATH
        case Tool::kViewer:
            return VIEWER_PATH;
#endif
        default:
            return "";
    }
}

class Tools : public testing::TestWithParam<ToolCase> {};

TEST_P(Tools, KeepTheirOptionsMessagesAndStatuses) {
    const ToolCase &c = GetParam();
    std::string program = pathOf(c.tool);
    if (program.empty()) GTEST_SKIP() << "the program is not built";
    ScratchDir dir;
    std::vector<std::string> argv = {program};
    std::istringstream args(c.args);
    for (std::string arg; args >> arg;) {
        auto file = kFiles.find(arg.substr(1));
        if (arg[0] == '@' && file != kFiles.end()) dir.write(file->first, file->second);
        argv.push_back(expand(arg, dir.root, program));
    }
    VirtualDisplay display;
    // The viewer opens its window before it looks at its arguments.
    if (c.tool == Tool::kViewer) {
        display = startVirtualDisplay();
        ASSERT_GT(display.pid, 0);
    }
    RunningProcess run = startProcess(argv, display.name, dir.root);
    bool ended = waitForExit(run, 60);
    stopProcess(run);
    stopVirtualDisplay(display);
    ASSERT_TRUE(ended);
    std::string out = readWholeFile(run.outPath), err = readWholeFile(run.errPath);
    EXPECT_EQ(run.exitStatus, c.status) << err;
    std::string wantedOut = expand(c.out, dir.root, program), wantedErr = expand(c.err, dir.root, program);
    EXPECT_EQ(compared(out, &wantedOut), wantedOut);
    EXPECT_EQ(compared(err, &wantedErr), wantedErr);
}

const std::string kVersion = BSV2_VERSION_STRING;
const std::string kConvertUsage =
    "Usage: bsv2-convert [--fit] [--timeout SECONDS] [--max-memory MIB] INPUT OUTPUT\n...";
const std::string kInfoUsage =
    "Usage: bsv2-info [--] FILE...\nSays how many vertices and triangles each BSV2 file holds.\n";
const std::string kSnapshotUsage =
    "Usage: bsv2-snapshot [--thumbnail] [--size N] [FIRST.bsv2 [SECOND.bsv2]] OUTPUT.png\n"
    "Draws the picture bsv2-viewer shows of the models (the first green, the second red\n"
    "over it) without a window, and writes it as a PNG of N x N pixels (default 500).\n"
    "--thumbnail keeps to a thumbnailer's fixed budget of CPU time and memory.\n"
    "Exit status: 0 done, 1 no file could be read, 2 usage error, 3 output unwritable,\n"
    "4 nothing can be drawn (no EGL), 5 over the thumbnail budget.\n";
const std::string kNoFile = "Read error! (No such file or directory)\n";

// The converter's line for a usage error, then its usage.
std::string convertUsageError(const std::string &problem) { return "bsv2-convert: " + problem + "\n" + kConvertUsage; }
std::string snapshotUsageError(const std::string &problem) {
    return "bsv2-snapshot: " + problem + "\n" + kSnapshotUsage;
}
const std::string kSizeNeeded = "--size needs a whole number from 1 to 8192";

const ToolCase kCases[] = {
    {"ConvertShortHelp", Tool::kConvert, "-h", 0, kConvertUsage, ""},
    {"ConvertHelpAfterTheFiles", Tool::kConvert, "@a.obj @b.bsv2 --help", 0, kConvertUsage, ""},
    {"ConvertVersion", Tool::kConvert, "--version", 0, "bsv2-convert " + kVersion + "\nimports run in...", ""},
    {"ConvertNoArguments", Tool::kConvert, "", 1, "", convertUsageError("an input and an output file are needed")},
    {"ConvertOneFile", Tool::kConvert, "@a.obj", 1, "", convertUsageError("an input and an output file are needed")},
    {"ConvertThreeFiles", Tool::kConvert, "@a.obj @b.bsv2 @c.bsv2 -h", 1, "", convertUsageError("too many files")},
    {"ConvertUnknownOption", Tool::kConvert, "--bogus @a.obj @b.bsv2", 1, "",
     convertUsageError("unknown option --bogus")},
    // "--" ends the options, as in every tool (before, it was an unknown option).
    {"ConvertEndOfOptions", Tool::kConvert, "-- @cube.bsv2 @out.obj", 0, "@out.obj: 3 vertices, 1 triangles\n", ""},
    {"ConvertTimeoutWithoutNumber", Tool::kConvert, "@a.obj @b.bsv2 --timeout", 1, "",
     convertUsageError("--timeout needs a positive number")},
    {"ConvertTimeoutNegative", Tool::kConvert, "--timeout -1 @a.obj @b.bsv2", 1, "",
     convertUsageError("--timeout needs a positive number")},
    {"ConvertMaxMemoryNotANumber", Tool::kConvert, "--max-memory lots @a.obj @b.bsv2", 1, "",
     convertUsageError("--max-memory needs a positive number")},
    // A cap beyond what 64 bits of bytes can count is no cap (it once wrapped round to none at all).
    {"ConvertMaxMemoryBeyond64Bits", Tool::kConvert, "--max-memory 17592186044416 @tri.obj @out.bsv2", 0,
     "@out.bsv2: 3 vertices, 1 triangles\n", ""},
    {"ConvertMaxMemoryHuge", Tool::kConvert, "--max-memory 1e30 @tri.obj @out.bsv2", 0,
     "@out.bsv2: 3 vertices, 1 triangles\n", ""},
    {"ConvertUnknownOutputFormat", Tool::kConvert, "@cube.bsv2 @out.xyz", 1, "",
     "bsv2-convert: @out.xyz: unknown output format \".xyz\" (use .bsv2, .obj, .ply, .stl or .glb)\n"},
    {"ConvertEveryOption", Tool::kConvert, "--fit --timeout 5 --max-memory 100 @cube.bsv2 @out.bsv2", 0,
     "@out.bsv2: 3 vertices, 1 triangles\n", ""},
    {"ConvertInputUnreadable", Tool::kConvert, "@none.bsv2 @out.obj", 2, "", "bsv2-convert: @none.bsv2: " + kNoFile},
    {"ConvertOutputUnwritable", Tool::kConvert, "@cube.bsv2 @no/out.obj", 3, "", "bsv2-convert: @no/out.obj: ..."},
    {"InfoShortHelp", Tool::kInfo, "-h @cube.bsv2", 0, kInfoUsage, ""},
    {"InfoHelpAfterAFile", Tool::kInfo, "@cube.bsv2 --help", 0, kInfoUsage, ""},
    {"InfoVersion", Tool::kInfo, "--version", 0, "bsv2-info " + kVersion + "\n", ""},
    {"InfoNoFile", Tool::kInfo, "", 2, "", kInfoUsage},
    {"InfoUnknownOption", Tool::kInfo, "--bogus", 2, "", "bsv2-info: unknown option --bogus\n" + kInfoUsage},
    {"InfoRefuses", Tool::kInfo, "@cube.bsv2 @other.txt", 1,
     "@cube.bsv2: 3 vertices, 1 triangles\n@other.txt: refused\n", "@other.txt: File is not BSV2 format!\n"},
    {"InfoEndOfOptions", Tool::kInfo, "-- -h", 1, "-h: refused\n", "-h: " + kNoFile},
    {"InfoDashIsAFile", Tool::kInfo, "-", 1, "-: refused\n", "-: " + kNoFile},
    {"SnapshotShortHelp", Tool::kSnapshot, "-h", 0, kSnapshotUsage, ""},
    {"SnapshotHelpAfterAFile", Tool::kSnapshot, "@out.png --help", 0, kSnapshotUsage, ""},
    {"SnapshotVersion", Tool::kSnapshot, "--version", 0, "bsv2-snapshot " + kVersion + "\n", ""},
    {"SnapshotNoOutput", Tool::kSnapshot, "", 2, "", snapshotUsageError("an output file is needed")},
    {"SnapshotThreeModels", Tool::kSnapshot, "@cube.bsv2 @cube.bsv2 @cube.bsv2 @out.png", 2, "",
     snapshotUsageError("at most two models and an output file")},
    {"SnapshotUnknownOption", Tool::kSnapshot, "--bogus @out.png", 2, "", snapshotUsageError("unknown option --bogus")},
    {"SnapshotSizeZero", Tool::kSnapshot, "--size 0 @out.png", 2, "", snapshotUsageError(kSizeNeeded)},
    {"SnapshotSizeTooLarge", Tool::kSnapshot, "--size 8193 @out.png", 2, "", snapshotUsageError(kSizeNeeded)},
    {"SnapshotSizeNotANumber", Tool::kSnapshot, "--size 16px @out.png", 2, "", snapshotUsageError(kSizeNeeded)},
    {"SnapshotSizeWithoutNumber", Tool::kSnapshot, "@out.png --size", 2, "", snapshotUsageError(kSizeNeeded)},
    {"SnapshotDraws", Tool::kSnapshot, "--size 16 @cube.bsv2 @out.png", 0, "", ""},
    {"SnapshotEveryOption", Tool::kSnapshot, "--thumbnail --size 16 -- @cube.bsv2 @cube.bsv2 @out.png", 0, "", ""},
    {"SnapshotNoModel", Tool::kSnapshot, "--size 16 @out.png", 0, "", ""},
    {"SnapshotEveryFileFails", Tool::kSnapshot, "@none.bsv2 @out.png", 1, "", "bsv2-snapshot: @none.bsv2: " + kNoFile},
    {"SnapshotOutputUnwritable", Tool::kSnapshot, "@cube.bsv2 @no/out.png", 3, "", "bsv2-snapshot: @no/out.png: ..."},
    {"ViewerThreeFiles", Tool::kViewer, "@cube.bsv2 @cube.bsv2 @cube.bsv2", 1, "Usage: $0 fileName\n", ""},
    {"ViewerThreeFilesBesideAGlutOption", Tool::kViewer, "-geometry 10x10 @cube.bsv2 @cube.bsv2 @cube.bsv2", 1,
     "Usage: $0 fileName\n", ""},
};

INSTANTIATE_TEST_SUITE_P(Program, Tools, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ToolCase> &info) { return std::string(info.param.name); });

}  // namespace
