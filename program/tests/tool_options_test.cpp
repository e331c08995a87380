// Every tool's command line as a real process: which options it takes,
// what it prints where, and its exit status. The table pins them, so that
// a change to how the tools read their arguments cannot change what a user
// or a script sees.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "process.h"
#include "shape.h"
#include "test_files.h"
#include "x_display.h"

namespace {

enum class Tool { kConvert, kInfo, kViewer };

// The scratch files a row may name, by name.
const std::map<std::string, std::string> kFiles = {
    {"cube.bsv2", "BSV2\n3\n1\n0 0 0\n1 0 0\n0 1 0\n0 1 2\n"},
    {"other.txt", "BSV3\n"},
};

struct ToolCase {
    const char *name;
    Tool tool;
    std::vector<std::string> files;  // the scratch files the row needs, from kFiles
    std::vector<std::string> args;   // "@NAME" is the path of NAME in the scratch folder
    int status;
    std::string out;  // what standard output starts with ("@" and "$0" as below); "" for nothing
    std::string err;  // what standard error starts with; "" for nothing
};

// "@" stands for the scratch folder, "$0" for the program's path.
std::string expand(std::string text, const std::string &folder, const std::string &program) {
    for (std::size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, folder + "/");
    for (std::size_t at; (at = text.find("$0")) != std::string::npos;) text.replace(at, 2, program);
    return text;
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
#ifdef VIEWER_PATH
        case Tool::kViewer:
            return VIEWER_PATH;
#endif
        default:
            return "";
    }
}

// As much of the stream as the row says it starts with; all of it when the
// row says it is empty.
std::string beginning(const std::string &stream, const std::string &wanted) {
    return wanted.empty() ? stream : stream.substr(0, wanted.size());
}

class Tools : public testing::TestWithParam<ToolCase> {};

TEST_P(Tools, KeepTheirOptionsMessagesAndStatuses) {
    const ToolCase &c = GetParam();
    std::string program = pathOf(c.tool);
    if (program.empty()) GTEST_SKIP() << "the program is not built";
    ScratchDir dir;
    for (const std::string &file : c.files) dir.write(file, kFiles.at(file));
    std::vector<std::string> argv = {program};
    for (const std::string &arg : c.args) argv.push_back(expand(arg, dir.root, program));
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
    EXPECT_EQ(beginning(out, wantedOut), wantedOut);
    EXPECT_EQ(beginning(err, wantedErr), wantedErr);
}

const std::string kVersion = BSV2_VERSION_STRING;
const std::string kConvertUsage = "Usage: bsv2-convert [--fit] [--timeout SECONDS] [--max-memory MIB] INPUT OUTPUT\n";
const std::string kInfoUsage = "Usage: bsv2-info [--] FILE...\n";

const ToolCase kCases[] = {
    {"ConvertShortHelp", Tool::kConvert, {}, {"-h"}, 0, kConvertUsage, ""},
    {"ConvertHelp", Tool::kConvert, {}, {"--help"}, 0, kConvertUsage, ""},
    {"ConvertHelpAfterTheFiles", Tool::kConvert, {}, {"@a.obj", "@b.bsv2", "--help"}, 0, kConvertUsage, ""},
    {"ConvertVersion", Tool::kConvert, {}, {"--version"}, 0, "bsv2-convert " + kVersion + "\nimports run in", ""},
    {"ConvertNoArguments",
     Tool::kConvert,
     {},
     {},
     1,
     "",
     "bsv2-convert: an input and an output file are needed\n" + kConvertUsage},
    {"ConvertOneFile",
     Tool::kConvert,
     {},
     {"@a.obj"},
     1,
     "",
     "bsv2-convert: an input and an output file are needed\n" + kConvertUsage},
    {"ConvertThreeFiles",
     Tool::kConvert,
     {},
     {"@a.obj", "@b.bsv2", "@c.bsv2", "-h"},
     1,
     "",
     "bsv2-convert: too many files\n" + kConvertUsage},
    {"ConvertUnknownOption",
     Tool::kConvert,
     {},
     {"--bogus", "@a.obj", "@b.bsv2"},
     1,
     "",
     "bsv2-convert: unknown option --bogus\n" + kConvertUsage},
    // "--" ends the options, as in every tool (before, it was an unknown option).
    {"ConvertEndOfOptions",
     Tool::kConvert,
     {"cube.bsv2"},
     {"--", "@cube.bsv2", "@out.obj"},
     0,
     "@out.obj: 3 vertices, 1 triangles\n",
     ""},
    {"ConvertTimeoutWithoutNumber",
     Tool::kConvert,
     {},
     {"@a.obj", "@b.bsv2", "--timeout"},
     1,
     "",
     "bsv2-convert: --timeout needs a positive number\n" + kConvertUsage},
    {"ConvertTimeoutNegative",
     Tool::kConvert,
     {},
     {"--timeout", "-1", "@a.obj", "@b.bsv2"},
     1,
     "",
     "bsv2-convert: --timeout needs a positive number\n" + kConvertUsage},
    {"ConvertMaxMemoryNotANumber",
     Tool::kConvert,
     {},
     {"--max-memory", "lots", "@a.obj", "@b.bsv2"},
     1,
     "",
     "bsv2-convert: --max-memory needs a positive number\n" + kConvertUsage},
    {"ConvertUnknownOutputFormat",
     Tool::kConvert,
     {"cube.bsv2"},
     {"@cube.bsv2", "@out.xyz"},
     1,
     "",
     "bsv2-convert: @out.xyz: unknown output format \".xyz\" (use .bsv2, .obj, .ply, .stl or .glb)\n"},
    {"ConvertConverts",
     Tool::kConvert,
     {"cube.bsv2"},
     {"@cube.bsv2", "@out.obj"},
     0,
     "@out.obj: 3 vertices, 1 triangles\n",
     ""},
    {"ConvertEveryOption",
     Tool::kConvert,
     {"cube.bsv2"},
     {"--fit", "--timeout", "5", "--max-memory", "100", "@cube.bsv2", "@out.bsv2"},
     0,
     "@out.bsv2: 3 vertices, 1 triangles\n",
     ""},
    {"ConvertInputUnreadable",
     Tool::kConvert,
     {"other.txt"},
     {"@other.txt.bsv2", "@out.obj"},
     2,
     "",
     "bsv2-convert: @other.txt.bsv2: Read error! (No such file or directory)\n"},
    {"ConvertOutputUnwritable",
     Tool::kConvert,
     {"cube.bsv2"},
     {"@cube.bsv2", "@no/such/out.obj"},
     3,
     "",
     "bsv2-convert: @no/such/out.obj: "},
    {"InfoShortHelp", Tool::kInfo, {"cube.bsv2"}, {"@cube.bsv2", "-h"}, 0, kInfoUsage, ""},
    {"InfoHelp", Tool::kInfo, {}, {"--help"}, 0, kInfoUsage, ""},
    {"InfoVersion", Tool::kInfo, {}, {"--version"}, 0, "bsv2-info " + kVersion + "\n", ""},
    {"InfoNoFile", Tool::kInfo, {}, {}, 2, "", kInfoUsage},
    {"InfoUnknownOption", Tool::kInfo, {}, {"-x"}, 2, "", "bsv2-info: unknown option -x\n" + kInfoUsage},
    {"InfoReads", Tool::kInfo, {"cube.bsv2"}, {"@cube.bsv2"}, 0, "@cube.bsv2: 3 vertices, 1 triangles\n", ""},
    {"InfoRefuses",
     Tool::kInfo,
     {"cube.bsv2", "other.txt"},
     {"@cube.bsv2", "@other.txt"},
     1,
     "@cube.bsv2: 3 vertices, 1 triangles\n@other.txt: refused\n",
     "@other.txt: File is not BSV2 format!\n"},
    {"InfoEndOfOptions",
     Tool::kInfo,
     {},
     {"--", "--help"},
     1,
     "--help: refused\n",
     "--help: Read error! (No such file or directory)\n"},
    {"InfoDashIsAFile", Tool::kInfo, {}, {"-"}, 1, "-: refused\n", "-: Read error! (No such file or directory)\n"},
    {"ViewerThreeFiles",
     Tool::kViewer,
     {"cube.bsv2"},
     {"@cube.bsv2", "@cube.bsv2", "@cube.bsv2"},
     1,
     "Usage: $0 fileName\n",
     ""},
    {"ViewerThreeFilesBesideAGlutOption",
     Tool::kViewer,
     {"cube.bsv2"},
     {"-geometry", "10x10", "@cube.bsv2", "@cube.bsv2", "@cube.bsv2"},
     1,
     "Usage: $0 fileName\n",
     ""},
};

INSTANTIATE_TEST_SUITE_P(Program, Tools, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ToolCase> &info) { return std::string(info.param.name); });

}  // namespace
