// The import sandbox from the attacker's side: code in the import child
// (tests/hostile/, preloaded into the real bsv2-convert) tries each escape.
// Each attempt is first run unconfined, where it must get through (or the
// row proves nothing); inside the converter it must not: the conversion
// gives the same mesh as without the hostile code, or stops with status 2
// and one line, and nothing outside the input has changed. Then what the
// child can send back in place of an honest result: the converter's
// verdict must be its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "escapes.h"
#include "landlock.h"
#include "process.h"
#include "result_lies.h"
#include "test_files.h"

namespace {

const std::string kConverter = CONVERTER_PATH;
// Sanitizer builds: the runtime must come first among the preloads.
const std::string kPreload = std::string(SANITIZER_RUNTIME).empty()
                                 ? std::string(HOSTILE_IMPORT_PATH)
                                 : std::string(SANITIZER_RUNTIME) + ":" + HOSTILE_IMPORT_PATH;
const int kInheritedFd = 9;
#ifdef BSV2_HAVE_LIBURING
const bool kHaveLiburing = true;
#else
const bool kHaveLiburing = false;
#endif

// A model naming as its material libraries a file that is none, and one in
// a hidden folder.
const char kCube[] =
    "mtllib notes.txt\nmtllib .ssh/id_ed25519\n"
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n"
    "f 1 2 3 4\nf 5 8 7 6\nf 1 5 6 2\nf 2 6 7 3\nf 3 7 8 4\nf 5 1 4 8\n";

std::string writeHidden(const ScratchDir &dir) {
    std::filesystem::create_directory(dir.path(".ssh"));
    return dir.write(".ssh/id_ed25519", "hidden-secret");
}

// What the attempts aim at: the input and files beside it (one it does not
// name, two it names), a folder with a secret elsewhere, a log on an
// inherited descriptor, another process.
struct Targets {
    ScratchDir dir, elsewhere;
    std::string input = dir.write("input.obj", kCube);
    std::string beside = dir.write("beside.txt", "beside-secret");
    std::string named = dir.write("notes.txt", "named-secret");
    std::string hidden = writeHidden(dir);
    std::string secret = elsewhere.write("secret.txt", "outside-secret");
    std::string log = elsewhere.write("inherited.log", "");
    RunningProcess victim = startProcess({"sleep", "60"}, "", elsewhere.root);
    struct stat before = statOf(input);
    std::vector<std::string> files = namesIn(dir.root);

    Targets() {
        setenv("HOSTILE_DIR", dir.root.c_str(), 1);
        setenv("HOSTILE_INPUT", input.c_str(), 1);
        setenv("HOSTILE_SECRET", secret.c_str(), 1);
        setenv("HOSTILE_BESIDE", beside.c_str(), 1);
        setenv("HOSTILE_NAMED", named.c_str(), 1);
        setenv("HOSTILE_HIDDEN", hidden.c_str(), 1);
        setenv("HOSTILE_PID", std::to_string(victim.pid).c_str(), 1);
        setenv("HOSTILE_FD", std::to_string(kInheritedFd).c_str(), 1);
    }
    ~Targets() { stopProcess(victim); }

    static struct stat statOf(const std::string &path) {
        struct stat info = {};
        stat(path.c_str(), &info);
        return info;
    }
    static std::vector<std::string> namesIn(const std::string &folder) {
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    // Everything an escape could have changed, as it was at the start.
    void expectUntouched(const std::string &output) {
        struct stat now = statOf(input);
        EXPECT_EQ(now.st_mode, before.st_mode);
        EXPECT_EQ(now.st_mtim.tv_sec, before.st_mtim.tv_sec);
        EXPECT_EQ(now.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
        EXPECT_LT(getxattr(input.c_str(), "user.escaped", nullptr, 0), 0);
        std::vector<std::string> expected = files;
        if (fileExists(output)) expected.push_back(std::filesystem::path(output).filename());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(namesIn(dir.root), expected);
        EXPECT_EQ(readWholeFile(log), "");
        EXPECT_EQ(waitpid(victim.pid, nullptr, WNOHANG), 0) << "the other process has ended";
    }
};

// What an attempt needs before it can prove anything.
enum class Needs {
    kNothing,
    kLandlock,  // only Landlock keeps an import from reading what it may not
    kLiburing,  // the attempt is built on liburing
};

// Whether the attempt must get through unconfined: io_uring switched off, no
// extended attributes on this file system, or no right to make namespaces
// can stop some even there.
enum class Unconfined { kGetsThrough, kMayBeStopped };

struct EscapeCase {
    const char *attempt;
    Needs needs = Needs::kNothing;
    Unconfined unconfined = Unconfined::kGetsThrough;
    const char *stoppedWith = nullptr;  // the conversion must stop, its line holding this
    const char *timeout = "5";
};

// Runs the attempt unconfined, in a child with the inherited descriptor
// open. True when it got through.
bool escapesUnconfined(const Targets &targets, const std::string &attempt) {
    pid_t child = fork();
    if (child == 0) {
        int fd = open(targets.log.c_str(), O_WRONLY | O_APPEND);
        if (fd < 0 || dup2(fd, kInheritedFd) < 0) _exit(2);
        std::string evidence;
        _exit(tryEscape(attempt, &evidence) ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    // An exec'ed program that succeeded is an escape too.
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The converter with the hostile import preloaded, the log open on the
// inherited descriptor as a caller's `9>>log` leaves it; `timeout` empty
// for the default.
Finished convertWithHostileImport(const Targets &targets, const char *attempt, const std::string &timeout,
                                  const std::string &input, const std::string &output) {
    setenv("HOSTILE_ATTEMPT", attempt, 1);
    setenv("HOSTILE_PRELOAD", kPreload.c_str(), 1);
    std::vector<std::string> argv = {"/bin/sh", "-c", "exec 9>>\"$0\"; exec env LD_PRELOAD=\"$HOSTILE_PRELOAD\" \"$@\"",
                                     targets.log, kConverter};
    if (!timeout.empty()) argv.insert(argv.end(), {"--timeout", timeout});
    argv.insert(argv.end(), {input, output});
    return runToEnd(argv, targets.elsewhere.root, 120);
}

void expectOneLine(const Finished &run, int status, const std::string &holding) {
    EXPECT_EQ(run.status, status) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_NE(run.err.find(holding), std::string::npos) << run.err;
}

class Escape : public testing::TestWithParam<EscapeCase> {};

TEST_P(Escape, FailsFromInsideTheImporter) {
    const EscapeCase &c = GetParam();
    if (c.needs == Needs::kLandlock && landlockVersion() == 0) GTEST_SKIP() << "this kernel has no Landlock";
    if (c.needs == Needs::kLiburing && !kHaveLiburing)
        GTEST_SKIP() << "built without liburing (Debian: liburing-dev), so this attempt is not";
    {
        Targets unconfined;
        bool escaped = escapesUnconfined(unconfined, c.attempt);
        if (!escaped && c.unconfined == Unconfined::kMayBeStopped)
            std::printf("[   NOTE   ] %s does not get through here even unconfined\n", c.attempt);
        else
            EXPECT_TRUE(escaped) << "the attempt does not work even without the sandbox";
    }

    Targets targets;
    std::string reference = targets.elsewhere.path("reference.bsv2");
    ASSERT_EQ(runToEnd({kConverter, targets.input, reference}, targets.elsewhere.root).status, 0);
    std::string output = targets.dir.path("output.bsv2");
    Finished run = convertWithHostileImport(targets, c.attempt, c.timeout, targets.input, output);
    if (c.stoppedWith != nullptr) {
        expectOneLine(run, 2, c.stoppedWith);
        EXPECT_FALSE(fileExists(output));
    } else {
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(readWholeFile(output), readWholeFile(reference));
    }
    targets.expectUntouched(output);
}

INSTANTIATE_TEST_SUITE_P(
    Sandbox, Escape,
    testing::Values(
        EscapeCase{"create-by-open"}, EscapeCase{"create-by-io-uring", Needs::kLiburing, Unconfined::kMayBeStopped},
        EscapeCase{"mode-by-descriptor"}, EscapeCase{"times-by-descriptor"},
        EscapeCase{"attribute-by-descriptor", Needs::kNothing, Unconfined::kMayBeStopped}, EscapeCase{"mode-by-path"},
        EscapeCase{"times-by-path"}, EscapeCase{"signal-other-process"}, EscapeCase{"open-socket"},
        EscapeCase{"read-outside-folder", Needs::kLandlock}, EscapeCase{"read-beside-input", Needs::kLandlock},
        EscapeCase{"read-named-wrong-role", Needs::kLandlock}, EscapeCase{"read-named-hidden", Needs::kLandlock},
        EscapeCase{"list-folder"}, EscapeCase{"write-inherited-descriptor"},
        EscapeCase{"mount", Needs::kNothing, Unconfined::kMayBeStopped},
        EscapeCase{"run-program", Needs::kNothing, Unconfined::kGetsThrough, "forbidden system call"}),
    [](const testing::TestParamInfo<EscapeCase> &info) {
        std::string name = info.param.attempt;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

// A model in a folder its author can still write to (a shared folder): the
// author swaps a name there back and forth while the converter runs, a file
// that passes when it is judged, a link to elsewhere when Landlock's rule
// is made for it. The rule must be for what was judged: the secret beyond
// the link stays out of reach however often the conversion is tried.
enum class Swapped {
    kCompanion,  // the material library the model names
    kInput,      // the model itself
};

enum class Beyond {
    kSecret,        // the secret file
    kSecretFolder,  // the folder that holds it (a rule for a folder covers all below it)
};

struct RaceCase {
    const char *name;
    Swapped swapped;
    Beyond beyond;
};

void PrintTo(const RaceCase &c, std::ostream *out) { *out << c.name; }

class Race : public testing::TestWithParam<RaceCase> {};

TEST_P(Race, LetsTheImporterReadOnlyWhatWasJudged) {
    const RaceCase &c = GetParam();
    if (landlockVersion() == 0) GTEST_SKIP() << "this kernel has no Landlock";
    Targets targets;
    ScratchDir shared;
    shared.write("real.obj", "mtllib part.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    shared.write("real.mtl", "newmtl red\nKd 1 0 0\n");
    std::string swapped = c.swapped == Swapped::kCompanion ? "part.mtl" : "model.obj";
    std::string real = c.swapped == Swapped::kCompanion ? "real.mtl" : "real.obj";
    std::string beyond = c.beyond == Beyond::kSecret ? targets.secret : targets.elsewhere.root;
    if (c.swapped == Swapped::kCompanion) {
        ASSERT_EQ(link(shared.path("real.obj").c_str(), shared.path("model.obj").c_str()), 0);
    }
    std::atomic<bool> done{false};
    std::thread author([&] {
        int folder = open(shared.root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        while (!done) {
            linkat(folder, real.c_str(), folder, "next", 0);
            renameat(folder, "next", folder, swapped.c_str());
            symlinkat(beyond.c_str(), folder, "next");
            renameat(folder, "next", folder, swapped.c_str());
        }
        close(folder);
    });
    std::string output = targets.elsewhere.path("output.bsv2");
    std::string escaped;
    for (int i = 0; i < 60 && escaped.empty(); i++) {
        Finished run = convertWithHostileImport(targets, "read-outside-folder", "5", shared.path("model.obj"), output);
        if (run.err.find("escaped") != std::string::npos) escaped = run.err;
        std::remove(output.c_str());
    }
    done = true;
    author.join();
    EXPECT_EQ(escaped, "");
}

INSTANTIATE_TEST_SUITE_P(Sandbox, Race,
                         testing::Values(RaceCase{"CompanionSwappedForASecret", Swapped::kCompanion, Beyond::kSecret},
                                         RaceCase{"CompanionSwappedForAFolder", Swapped::kCompanion,
                                                  Beyond::kSecretFolder},
                                         RaceCase{"InputSwappedForAFolder", Swapped::kInput, Beyond::kSecretFolder}),
                         [](const testing::TestParamInfo<RaceCase> &info) { return std::string(info.param.name); });

enum class Input {
    kModel,   // the model of the escapes
    kSparse,  // an STL file of 4 GiB that is one hole: 4 GiB apparent, nothing on disk
};

enum class Output {
    kBeside,         // beside the input
    kMissingFolder,  // in a folder that does not exist: an import's result is not written anywhere
};

struct LieCase {
    const char *lie;  // result_lies.h
    Input input;
    const char *timeout;  // "" for the default for the input
    int status;
    std::string said;  // in the one line on standard error, or in the summary on status 0
    Output output = Output::kBeside;
    double meshMiB = 0;  // the mesh the lie sends, which the converter must hold once only
};

class Lie : public testing::TestWithParam<LieCase> {};

// The child's status, text and claims decide nothing the parent has not seen
// for itself, its text reaches the terminal harmless, its limits follow what
// the input occupies, and whatever it sends, the converter holds it once.
TEST_P(Lie, GetsTheConvertersOwnVerdict) {
    const LieCase &c = GetParam();
    Targets targets;
    std::string input = targets.input;
    if (c.input == Input::kSparse) {
        input = targets.elsewhere.write("sparse.stl", "");
        ASSERT_EQ(truncate(input.c_str(), 4LL << 30), 0);
        if (Targets::statOf(input).st_blocks * 512 > (1 << 20)) GTEST_SKIP() << "this file system keeps no holes";
    }
    std::string output =
        c.output == Output::kBeside ? targets.dir.path("output.bsv2") : targets.dir.path("missing/output.bsv2");
    Finished run = convertWithHostileImport(targets, c.lie, c.timeout, input, output);
    if (c.status == 0) {
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find(c.said), std::string::npos) << run.out;
    } else {
        expectOneLine(run, c.status, c.said);
        EXPECT_FALSE(fileExists(output));
    }
    targets.expectUntouched(output);
    // Each case runs in a test process of its own (gtest_discover_tests), so
    // that the largest child is the converter under this lie.
    struct rusage used;
    getrusage(RUSAGE_CHILDREN, &used);
    std::printf("[   NOTE   ] peak memory of the converter under %s: %.1f MiB\n", c.lie, used.ru_maxrss / 1024.0);
    EXPECT_LT(used.ru_maxrss / 1024.0, c.meshMiB + 256) << "MiB";
}

INSTANTIATE_TEST_SUITE_P(
    Sandbox, Lie,
    testing::Values(LieCase{"flood-after-mesh", Input::kModel, "5", 2, "sent more than a result can hold"},
                    LieCase{"flood-progress", Input::kModel, "1", 2, "took longer than 1 s"},
                    LieCase{"exit-86", Input::kModel, "5", 2, "importer ended without a result (status 86)"},
                    LieCase{"mesh-then-exit-87", Input::kModel, "5", 0, "3 vertices, 1 triangles"},
                    LieCase{"reason-with-controls", Input::kModel, "5", 2,
                            std::string(": ") + kHostileReasonShown + "\n"},
                    // A sparse file's defaults: what it occupies counts, not its 4 GiB.
                    LieCase{"claim-out-of-memory", Input::kSparse, "5", 2,
                            "the importer says it ran out of memory (its cap is 1024 MiB)"},
                    LieCase{"hang", Input::kSparse, "", 2, "took longer than 10 s"},
                    LieCase{"mesh-of-1-gib", Input::kModel, "60", 3, "No such file or directory",
                            Output::kMissingFolder, kGiBMeshBytes / 1048576.0}),
    [](const testing::TestParamInfo<LieCase> &info) {
        std::string name = info.param.lie;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

}  // namespace
