// Every program that writes a file the user names, run for real at each
// edge of the output rule (whole_output.h): a row per edge, a column per
// program. Then the walk that finds an output, on chains of links, and a
// write abandoned part way, as a time limit's signal handler abandons it.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pwd.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "output_target.h"
#include "process.h"
#include "test_files.h"
#include "whole_output.h"

namespace {

enum class Program { kConverter, kSnapshot, kPython };

const char *nameOf(Program program) {
    switch (program) {
        case Program::kConverter:
            return "Converter";
        case Program::kSnapshot:
            return "Snapshot";
        case Program::kPython:
            return "Python";
    }
    return "";
}

// What a program's output file is called, and what it starts with.
std::string outputName(Program program) {
    return program == Program::kConverter ? "out.obj" : program == Program::kSnapshot ? "out.png" : "out.bsv2";
}

std::string outputStart(Program program) {
    return program == Program::kConverter ? "v " : program == Program::kSnapshot ? "\x89PNG\r\n\x1a\n" : "BSV2\n";
}

// An older output the program may replace.
std::string oldOutput(Program program) { return outputStart(program) + "old output, to be kept\n"; }

// Triangles crossing the whole view, so that the picture does not shrink
// to a few bytes of PNG.
std::string crossingTrianglesBsv2() {
    std::string text = "BSV2\n400\n400\n";
    for (int i = 0; i < 400; i++)
        text += std::to_string((i * 7919) % 41 - 20) + " " + std::to_string((i * 104729) % 37 - 18) + " " +
                std::to_string((i * 1299709) % 43 - 21) + "\n";
    for (int j = 0; j < 400; j++)
        text += std::to_string(j) + " " + std::to_string((j * 13 + 5) % 400) + " " +
                std::to_string((j * 29 + 11) % 400) + "\n";
    return text;
}

const char kPythonWrite[] =
    "import sys, numpy, bsv2\n"
    "points = numpy.zeros((30000, 3), dtype=numpy.float32)\n"
    "points[:, 0] = numpy.arange(30000)\n"
    "try:\n"
    "    bsv2.write(sys.argv[1], points, numpy.arange(30000).reshape(-1, 3))\n"
    "except OSError as error:\n"
    "    print(error, file=sys.stderr)\n"
    "    sys.exit(3)\n";

// A folder set up for one edge, and what the program is told.
struct Scene {
    ScratchDir dir;
    std::vector<std::string> options;  // before the files
    std::string input;                 // the converter's or the snapshot's input ("" for Python)
    std::string output;
    std::string replaced;    // where a written output must end up (the output, or the file its link leads to)
    std::string written;     // what that file must start with, when not the program's own kind
    mode_t mode = 0;         // the permission bits it must have, when not 0
    std::string mountPoint;  // a file system mounted for the edge, taken down afterwards
    std::thread reader;      // a pipe's reader, running while the program does
    int held = -1;           // the output opened before the run, as a thumbnail service holds it
    int pipeEnd = -1;        // the writing end of an unnamed pipe the output leads to, held by the test
    std::string untouched;   // a file that must keep its bytes, however the output is written
    std::string skip;        // why the edge cannot be set up here

    ~Scene() {
        if (reader.joinable()) reader.join();
        if (held >= 0) close(held);
        if (pipeEnd >= 0) close(pipeEnd);
        if (!mountPoint.empty()) umount2(mountPoint.c_str(), MNT_DETACH);
    }
};

// A user id no account has.
uid_t unusedUid() {
    uid_t uid = 54321;
    while (getpwuid(uid) != nullptr) uid++;
    return uid;
}

enum class Made { kLink, kFile };

// Makes `name` in `folder` as another user, in a child that switches to an
// unused user id (no account is added): a link to `text`, or a file holding
// it that anyone may write. Returns "" when done, or why it cannot be done
// here.
std::string makeAsAnotherUser(const std::string &folder, const std::string &name, Made made, const std::string &text) {
    uid_t uid = unusedUid();
    int folderFd = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    pid_t child = fork();
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setresgid(uid, uid, uid) != 0 || setresuid(uid, uid, uid) != 0) _exit(2);
        if (made == Made::kLink) _exit(symlinkat(text.c_str(), folderFd, name.c_str()) == 0 ? 0 : 1);
        int fd = openat(folderFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        bool written = fd >= 0 && fchmod(fd, 0666) == 0 &&
                       write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        _exit(written ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    close(folderFd);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2) return "cannot switch to another user id (setresuid needs root)";
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : "the other user cannot make the file";
}

std::string makeStickyFolder(Scene *scene) {
    std::string shared = scene->dir.path("shared");
    mkdir(shared.c_str(), 0777);
    chmod(shared.c_str(), 01777);
    return shared;
}

void outputIsTheInput(Program, Scene *scene) { scene->output = scene->input; }

void outputLinksToTheInput(Program program, Scene *scene) {
    scene->output = scene->dir.path(outputName(program));
    symlink(scene->input.c_str(), scene->output.c_str());
}

void outputIsAHardLinkOfTheInput(Program program, Scene *scene) {
    scene->output = scene->dir.path(outputName(program));
    link(scene->input.c_str(), scene->output.c_str());
}

void modelGivenAsTheOutput(Program, Scene *scene) {
    scene->output = scene->dir.write("other.bsv2", "BSV2\n1\n0\n0 0 0\n");
}

void bsv2FittedInPlace(Program, Scene *scene) {
    scene->input = scene->output = scene->replaced =
        scene->dir.write("model.bsv2", "BSV2\n3\n1\n0 0 0\n9 0 0\n0 9 0\n0 1 2\n");
    scene->options = {"--fit"};
    scene->written = "BSV2\n3\n1\n";
}

void otherUsersLinkInAStickyFolder(Program program, Scene *scene) {
    std::string victim = scene->dir.write("victim", oldOutput(program));
    scene->skip = makeAsAnotherUser(makeStickyFolder(scene), outputName(program), Made::kLink, victim);
    scene->output = scene->dir.path("shared/" + outputName(program));
}

// Replaced by root, it would keep its owner's 0666: they could change the
// output afterwards.
void otherUsersFileInAStickyFolder(Program program, Scene *scene) {
    scene->skip = makeAsAnotherUser(makeStickyFolder(scene), outputName(program), Made::kFile, oldOutput(program));
    scene->output = scene->dir.path("shared/" + outputName(program));
}

void ownLinkInAStickyFolder(Program program, Scene *scene) {
    scene->replaced = scene->dir.write("victim", oldOutput(program));
    scene->output = makeStickyFolder(scene) + "/" + outputName(program);
    symlink(scene->replaced.c_str(), scene->output.c_str());
}

void setUserIdOutput(Program program, Scene *scene) {
    scene->output = scene->replaced = scene->dir.write(outputName(program), oldOutput(program));
    if (geteuid() == 0) chown(scene->output.c_str(), unusedUid(), unusedUid());
    chmod(scene->output.c_str(), 07755);
    scene->mode = 0755;
}

// The output holding `bytes` on a file system with no room left.
void outputOnAFullDisk(Program program, const std::string &bytes, Scene *scene) {
    std::string disk = scene->dir.path("disk");
    mkdir(disk.c_str(), 0755);
    if (mount("tmpfs", disk.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k") != 0) {
        scene->skip = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
        return;
    }
    scene->mountPoint = disk;
    scene->output = scene->dir.write("disk/" + outputName(program), bytes);
    int filler = open((disk + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    char block[4096] = {0};
    while (write(filler, block, sizeof block) > 0) {
    }
    close(filler);
}

// The output and a hard link to it on a file system with no room left.
void fullDiskOverAnExistingFile(Program program, Scene *scene) {
    outputOnAFullDisk(program, oldOutput(program), scene);
    if (scene->skip.empty()) link(scene->output.c_str(), scene->dir.path("disk/hard-link").c_str());
}

// An empty output made beforehand, and held open to read the output
// through, as thumbnail services make theirs: written where it is.
void emptyFileHeldOpen(Program program, Scene *scene) {
    scene->output = scene->dir.write(outputName(program), "");
    chmod(scene->output.c_str(), 0600);
    scene->held = open(scene->output.c_str(), O_RDONLY | O_CLOEXEC);
    scene->mode = 0600;
}

// An empty output with a second name, which must stay empty.
void emptyFileWithASecondLink(Program program, Scene *scene) {
    scene->output = scene->dir.write(outputName(program), "");
    scene->untouched = scene->dir.path("second-link");
    link(scene->output.c_str(), scene->untouched.c_str());
}

// An empty output that cannot be filled: it must be empty again.
void emptyFileOnAFullDisk(Program program, Scene *scene) { outputOnAFullDisk(program, "", scene); }

// A reader that takes one byte of the output and leaves; opened before the
// program starts, so that the program's open does not wait.
void fifoWhoseReaderLeaves(Program program, Scene *scene) {
    scene->output = scene->dir.path(outputName(program));
    mkfifo(scene->output.c_str(), 0644);
    int fd = open(scene->output.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    scene->reader = std::thread([fd] {
        struct pollfd ready = {fd, POLLIN, 0};
        char byte;
        if (poll(&ready, 1, 30000) > 0) (void)!read(fd, &byte, 1);
        close(fd);
    });
}

// The same through an unnamed pipe, as a shell's "| head -c 1" gives one
// (reached as the test's own /proc/PID/fd/N): it opens without a reader.
void pipeWhoseReaderLeaves(Program, Scene *scene) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        scene->skip = std::string("cannot make a pipe: ") + std::strerror(errno);
        return;
    }
    scene->pipeEnd = ends[1];
    scene->output = "/proc/" + std::to_string(getpid()) + "/fd/" + std::to_string(ends[1]);
    int fd = ends[0];
    scene->reader = std::thread([fd] {
        struct pollfd ready = {fd, POLLIN, 0};
        char byte;
        if (poll(&ready, 1, 30000) > 0) (void)!read(fd, &byte, 1);
        close(fd);
    });
}

enum class Expect { kNotAnEdge, kRefused, kWritten, kNoRoom, kReaderGone };

struct Edge {
    const char *name;
    void (*arrange)(Program program, Scene *scene);
    Expect converter, snapshot, python;
    const char *says;  // part of the one line a failure gives
};

const Edge kEdges[] = {
    {"OutputIsTheInput", outputIsTheInput, Expect::kRefused, Expect::kRefused, Expect::kNotAnEdge,
     "is the same file as the input"},
    {"OutputLinksToTheInput", outputLinksToTheInput, Expect::kRefused, Expect::kRefused, Expect::kNotAnEdge,
     "is the same file as the input"},
    {"OutputIsAHardLinkOfTheInput", outputIsAHardLinkOfTheInput, Expect::kRefused, Expect::kRefused, Expect::kNotAnEdge,
     "is the same file as the input"},
    {"ModelGivenAsTheOutput", modelGivenAsTheOutput, Expect::kNotAnEdge, Expect::kRefused, Expect::kNotAnEdge,
     "is neither empty nor a PNG file, so it is not replaced (the output is the last file named)"},
    {"Bsv2FittedInPlace", bsv2FittedInPlace, Expect::kWritten, Expect::kNotAnEdge, Expect::kNotAnEdge, ""},
    {"OtherUsersLinkInAStickyFolder", otherUsersLinkInAStickyFolder, Expect::kRefused, Expect::kRefused,
     Expect::kRefused, "belongs to another user"},
    {"OtherUsersFileInAStickyFolder", otherUsersFileInAStickyFolder, Expect::kRefused, Expect::kRefused,
     Expect::kRefused, "is a file of another user"},
    {"OwnLinkInAStickyFolder", ownLinkInAStickyFolder, Expect::kWritten, Expect::kWritten, Expect::kWritten, ""},
    {"SetUserIdOutput", setUserIdOutput, Expect::kWritten, Expect::kWritten, Expect::kWritten, ""},
    {"FullDiskOverAnExistingFile", fullDiskOverAnExistingFile, Expect::kNoRoom, Expect::kNoRoom, Expect::kNoRoom,
     "No space left on device"},
    {"FifoWhoseReaderLeaves", fifoWhoseReaderLeaves, Expect::kReaderGone, Expect::kReaderGone, Expect::kReaderGone,
     "the reader of the output went away"},
    {"PipeWhoseReaderLeaves", pipeWhoseReaderLeaves, Expect::kNotAnEdge, Expect::kReaderGone, Expect::kReaderGone,
     "the reader of the output went away"},
    {"EmptyFileHeldOpen", emptyFileHeldOpen, Expect::kWritten, Expect::kWritten, Expect::kWritten, ""},
    {"EmptyFileWithASecondLink", emptyFileWithASecondLink, Expect::kWritten, Expect::kWritten, Expect::kWritten, ""},
    {"EmptyFileOnAFullDisk", emptyFileOnAFullDisk, Expect::kNoRoom, Expect::kNoRoom, Expect::kNoRoom,
     "No space left on device"},
};

struct Cell {
    const Edge *edge;
    Program program;
    Expect expect;
};

void PrintTo(const Cell &cell, std::ostream *out) { *out << cell.edge->name << " through " << nameOf(cell.program); }

std::vector<Cell> cells() {
    std::vector<Cell> all;
    for (const Edge &edge : kEdges) {
        for (auto [program, expect] :
             {std::pair{Program::kConverter, edge.converter}, std::pair{Program::kSnapshot, edge.snapshot},
              std::pair{Program::kPython, edge.python}}) {
            if (expect != Expect::kNotAnEdge) all.push_back({&edge, program, expect});
        }
    }
    return all;
}

// Every entry under `root`: its type, and its bytes or where it leads.
std::map<std::string, std::string> contentsOf(const std::string &root) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> contents;
    for (const fs::directory_entry &entry : fs::recursive_directory_iterator(root)) {
        // lexically: relative() would resolve a link to the entry it leads to.
        std::string name = entry.path().lexically_relative(root);
        if (name.rfind("process", 0) == 0) continue;
        if (entry.is_symlink()) {
            contents[name] = "link to " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_regular_file()) {
            contents[name] = readWholeFile(entry.path());
        } else {
            contents[name] = entry.is_directory() ? "folder" : "other";
        }
    }
    return contents;
}

// Why the program cannot run here, or "".
std::string missingProgram(Program program) {
    if (program == Program::kPython && std::string(PYTHON_MODULE_DIR).empty()) return "the Python module is not built";
    if (program == Program::kConverter && std::string(CONVERTER_PATH).empty()) return "bsv2-convert is not built";
    if (program == Program::kSnapshot && std::string(SNAPSHOT_PATH).empty()) return "bsv2-snapshot is not built";
    return "";
}

std::vector<std::string> commandFor(Program program, const Scene &scene) {
    if (program == Program::kPython)
        return {"/usr/bin/env", "PYTHONPATH=" PYTHON_MODULE_DIR, PYTHON_EXECUTABLE, "-c", kPythonWrite, scene.output};
    std::vector<std::string> argv = {program == Program::kConverter ? CONVERTER_PATH : SNAPSHOT_PATH};
    argv.insert(argv.end(), scene.options.begin(), scene.options.end());
    argv.push_back(scene.input);
    argv.push_back(scene.output);
    return argv;
}

class Edges : public testing::TestWithParam<Cell> {};

TEST_P(Edges, GiveTheirOneOutcome) {
    const Cell &cell = GetParam();
    std::string missing = missingProgram(cell.program);
    if (!missing.empty()) GTEST_SKIP() << missing;
    Scene scene;
    ScratchDir logs;
    // The converter's output is several times a pipe's 64 KiB.
    if (cell.program == Program::kConverter) scene.input = scene.dir.write("in.obj", separateTrianglesObj(5000));
    if (cell.program == Program::kSnapshot) {
        scene.input = scene.dir.write("in.bsv2", crossingTrianglesBsv2());
        scene.options = {"--size", "1024"};
    }
    cell.edge->arrange(cell.program, &scene);
    if (!scene.skip.empty()) GTEST_SKIP() << scene.skip;
    std::vector<std::string> argv = commandFor(cell.program, scene);
    std::map<std::string, std::string> before = contentsOf(scene.dir.root);
    std::string untouched = scene.untouched.empty() ? "" : readWholeFile(scene.untouched);

    Finished run = runToEnd(argv, logs.root);
    if (scene.reader.joinable()) scene.reader.join();
    if (cell.program == Program::kSnapshot && run.status == 4)
        GTEST_SKIP() << "bsv2-snapshot cannot draw here: " << run.err;
    std::map<std::string, std::string> after = contentsOf(scene.dir.root);

    if (cell.expect == Expect::kWritten) {
        EXPECT_EQ(run.status, 0) << run.err;
        std::string expected = scene.written.empty() ? outputStart(cell.program) : scene.written;
        std::string replaced = scene.replaced.empty() ? scene.output : scene.replaced;
        EXPECT_EQ(readWholeFile(replaced).substr(0, expected.size()), expected);
        struct stat info;
        ASSERT_EQ(stat(replaced.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, geteuid());
        if (scene.mode != 0) {
            EXPECT_EQ(info.st_mode & 07777, scene.mode);
        }
        if (scene.held >= 0) {
            // What the holder reads through its descriptor is the whole output.
            std::string seen(static_cast<std::size_t>(info.st_size), '\0');
            EXPECT_EQ(pread(scene.held, &seen[0], seen.size(), 0), static_cast<ssize_t>(seen.size()));
            EXPECT_EQ(seen, readWholeFile(replaced));
        }
        if (!scene.untouched.empty()) {
            EXPECT_EQ(readWholeFile(scene.untouched), untouched);
        }
        // Nothing else changed: the links are where they were, no temporary file is left.
        for (auto &entry : before) entry.second = entry.second.rfind("link", 0) == 0 ? entry.second : "";
        for (auto &entry : after) entry.second = entry.second.rfind("link", 0) == 0 ? entry.second : "";
    } else {
        EXPECT_EQ(run.status, 3) << run.err;
        EXPECT_NE(run.err.find(cell.edge->says), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(after, before);
}

INSTANTIATE_TEST_SUITE_P(Output, Edges, testing::ValuesIn(cells()), [](const testing::TestParamInfo<Cell> &info) {
    return std::string(info.param.edge->name) + "_" + nameOf(info.param.program);
});

// Walks that findOutput takes through links: each link judged in its own
// folder, followed to the end or refused.
struct WalkCase {
    const char *name;
    std::string (*arrange)(const ScratchDir &dir);  // "" or why it cannot be set up here
    const char *path;                               // in the scratch folder, or absolute
    const char *arrivesAt;  // the file the walk ends at, in the scratch folder; "-" standard output
    const char *says;       // part of the reason when the walk is refused
};

std::string chainThroughAnotherUsersLink(const ScratchDir &dir) {
    mkdir(dir.path("shared").c_str(), 0777);
    chmod(dir.path("shared").c_str(), 01777);
    symlink("shared/theirs", dir.path("mine").c_str());
    return makeAsAnotherUser(dir.path("shared"), "theirs", Made::kLink, dir.write("victim", "kept"));
}

std::string chainOfOwnLinksAcrossFolders(const ScratchDir &dir) {
    mkdir(dir.path("sub").c_str(), 0755);
    symlink("sub/second", dir.path("first").c_str());
    symlink("../end", dir.path("sub/second").c_str());
    dir.write("end", "");
    return "";
}

std::string linkLoop(const ScratchDir &dir) {
    symlink("loop-b", dir.path("loop-a").c_str());
    symlink("loop-a", dir.path("loop-b").c_str());
    return "";
}

std::string nothing(const ScratchDir &) { return ""; }

class Walks : public testing::TestWithParam<WalkCase> {};

TEST_P(Walks, EndWhereTheRuleLetsThem) {
    const WalkCase &c = GetParam();
    ScratchDir dir;
    std::string skip = c.arrange(dir);
    if (!skip.empty()) GTEST_SKIP() << skip;
    OutputTarget target;
    OutputError error;
    bool found = findOutput(c.path[0] == '/' ? std::string(c.path) : dir.path(c.path), &target, &error);
    ASSERT_EQ(found, *c.says == '\0') << error.reason;
    if (!found) {
        EXPECT_NE(error.reason.find(c.says), std::string::npos) << error.reason;
        return;
    }
    struct stat reached, expected;
    ASSERT_EQ(statOutput(target, &reached), 0);
    ASSERT_EQ(std::string(c.arrivesAt) == "-" ? fstat(STDOUT_FILENO, &expected)
                                              : stat(dir.path(c.arrivesAt).c_str(), &expected),
              0);
    EXPECT_EQ(reached.st_ino, expected.st_ino);
    EXPECT_EQ(target.direct >= 0, std::string(c.arrivesAt) == "-");
    releaseOutput(&target);
}

INSTANTIATE_TEST_SUITE_P(
    Output, Walks,
    testing::Values(WalkCase{"ChainThroughAnotherUsersLink", chainThroughAnotherUsersLink, "mine", "",
                             "shared/theirs belongs to another user"},
                    WalkCase{"ChainOfOwnLinksAcrossFolders", chainOfOwnLinksAcrossFolders, "first", "end", ""},
                    WalkCase{"LinkLoop", linkLoop, "loop-a", "", "Too many levels of symbolic links"},
                    WalkCase{"StandardOutputIsWrittenInPlace", nothing, "/dev/stdout", "-", ""}),
    [](const testing::TestParamInfo<WalkCase> &info) { return std::string(info.param.name); });

// A write abandoned part way (abandonOutputWrite, as a signal handler
// calls it before the process ends): what is left at that moment.
enum class Before { kNothing, kEmptyFile };

struct AbandonCase {
    const char *name;
    Before before;
};

class Abandoned : public testing::TestWithParam<AbandonCase> {};

TEST_P(Abandoned, LeaveNoPartOfTheOutput) {
    ScratchDir dir;
    std::string output = dir.path("out.png");
    if (GetParam().before == Before::kEmptyFile) dir.write("out.png", "");
    std::map<std::string, std::string> before = contentsOf(dir.root);
    OutputRules rules;
    rules.undoableFromSignal = true;
    OutputError error;
    std::map<std::string, std::string> leftAtTheSignal;
    bool written = writeOutputWhole(
        output, rules,
        [&](const char *path, std::string *reason) {
            std::FILE *file = std::fopen(path, "wb");
            std::fputs("\x89PNG\r\n\x1a\npart of a picture", file);
            std::fclose(file);
            abandonOutputWrite();
            leftAtTheSignal = contentsOf(dir.root);
            *reason = "ended by the signal";
            return false;
        },
        &error);
    EXPECT_FALSE(written);
    EXPECT_EQ(leftAtTheSignal, before);
    // Outside a write there is nothing to undo.
    abandonOutputWrite();
    EXPECT_EQ(contentsOf(dir.root), before);
}

INSTANTIATE_TEST_SUITE_P(Output, Abandoned,
                         testing::Values(AbandonCase{"NewFileBeside", Before::kNothing},
                                         AbandonCase{"EmptyFileFilledInPlace", Before::kEmptyFile}),
                         [](const testing::TestParamInfo<AbandonCase> &info) { return std::string(info.param.name); });

// The same write ended for real: a program given SIGTERM while it writes (a
// thumbnail host that gives up on it; Ctrl-C alike) ends by the signal, and
// leaves neither a temporary file nor part of an output in a file it fills
// in place.
struct InterruptCase {
    const char *name;
    Program program;
    Before before;
};

// Whether the write into `dir` has begun: a temporary file beside the
// output `name`, or bytes in the empty file filled in place.
bool writeUnderWay(const ScratchDir &dir, const std::string &name, Before before) {
    if (before == Before::kEmptyFile) {
        struct stat info;
        return stat(dir.path(name).c_str(), &info) == 0 && info.st_size > 0;
    }
    for (const auto &entry : std::filesystem::directory_iterator(dir.root)) {
        if (entry.path().filename().string().rfind("." + name + ".partial-", 0) == 0) return true;
    }
    return false;
}

// A shape whose writing takes a while (over a second here): for the
// snapshot a large picture, for the converter many triangles.
std::vector<std::string> slowWrite(Program program, const ScratchDir &dir, std::string *output) {
    if (program == Program::kSnapshot) {
        *output = "out.png";
        return {SNAPSHOT_PATH, "--size", "8192", dir.write("in.bsv2", crossingTrianglesBsv2()), dir.path(*output)};
    }
    std::string text = "BSV2\n3\n3000000\n0 0 0\n1 0 0\n0 1 0\n";
    for (int j = 0; j < 3000000; j++) text += "0 1 2\n";
    *output = "out.obj";
    return {CONVERTER_PATH, dir.write("in.bsv2", text), dir.path(*output)};
}

class Interrupted : public testing::TestWithParam<InterruptCase> {};

TEST_P(Interrupted, LeaveNoPartOfTheOutput) {
    const InterruptCase &c = GetParam();
    if (!missingProgram(c.program).empty()) GTEST_SKIP() << missingProgram(c.program);
    ScratchDir dir, logs;
    std::string output;
    std::vector<std::string> argv = slowWrite(c.program, dir, &output);
    if (c.before == Before::kEmptyFile) dir.write(output, "");
    std::map<std::string, std::string> before = contentsOf(dir.root);
    RunningProcess run = startProcess(argv, "", logs.root);
    bool writing = false;
    for (double start = secondsNow(); !writing && secondsNow() - start < 60;) {
        writing = writeUnderWay(dir, output, c.before);
        if (!writing && waitForExit(run, 0.002)) break;
    }
    if (!writing) GTEST_SKIP() << "the program ended before its write was seen (status " << run.exitStatus << ")";
    kill(run.pid, SIGTERM);
    ASSERT_TRUE(waitForExit(run, 30));
    EXPECT_EQ(run.exitStatus, 128 + SIGTERM);
    EXPECT_EQ(contentsOf(dir.root), before);
}

INSTANTIATE_TEST_SUITE_P(
    Output, Interrupted,
    testing::Values(InterruptCase{"SnapshotNewFileBeside", Program::kSnapshot, Before::kNothing},
                    InterruptCase{"SnapshotEmptyFileFilledInPlace", Program::kSnapshot, Before::kEmptyFile},
                    InterruptCase{"ConverterNewFileBeside", Program::kConverter, Before::kNothing}),
    [](const testing::TestParamInfo<InterruptCase> &info) { return std::string(info.param.name); });

}  // namespace
