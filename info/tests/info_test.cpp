// bsv2-info as a real process: what it says of each file, on which stream
// (its options are in program/tests/).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process.h"
#include "test_files.h"

namespace {

struct InfoCase {
    const char *name;
    std::vector<std::string> args;  // "@NAME" is the scratch file NAME
    std::string out, err;           // "@" stands for the scratch folder
    int status;
};

std::string expand(std::string text, const ScratchDir &dir) {
    for (std::size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, dir.root + "/");
    return text;
}

class Info : public testing::TestWithParam<InfoCase> {};

TEST_P(Info, SaysWhatEachFileHoldsOnItsOwnLine) {
    ScratchDir dir;
    dir.write("cube.bsv2", "BSV2\n3\n1\n0 0 0\n1 0 0\n0 1 0\n0 1 2\n");
    dir.write("negative.bsv2", "BSV2\n3\n-1\n0 0 0\n1 0 0\n0 1 0\n");
    dir.write("other.txt", "BSV3\n");
    std::vector<std::string> argv = {INFO_PATH};
    for (const std::string &arg : GetParam().args) argv.push_back(arg[0] == '@' ? expand(arg, dir) : arg);
    Finished run = runToEnd(argv, dir.root);
    EXPECT_EQ(run.out, expand(GetParam().out, dir));
    EXPECT_EQ(run.err, expand(GetParam().err, dir));
    EXPECT_EQ(run.status, GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Info, Info,
    testing::Values(
        InfoCase{"EachReasonNamesItsFile",
                 {"@cube.bsv2", "@other.txt", "@none.bsv2"},
                 "@cube.bsv2: 3 vertices, 1 triangles\n@other.txt: refused\n@none.bsv2: refused\n",
                 "@other.txt: File is not BSV2 format!\n@none.bsv2: Read error! (No such file or directory)\n",
                 1},
        InfoCase{"NegativeTriangleCountKeepsItsLine",
                 {"@negative.bsv2"},
                 "@negative.bsv2: 3 vertices, -1 triangles\n",
                 "",
                 0}),
    [](const testing::TestParamInfo<InfoCase> &info) { return std::string(info.param.name); });

}  // namespace
