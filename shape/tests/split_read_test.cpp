// The reader with its second thread against the reader on one: the same
// tables, counts, message and cause on large files of every layout, on the
// test corpus and on thousands of changes to both, with the second thread
// allowed for files of any size; a file changed under a two-thread read;
// where no thread can start; and what is never read with a second thread.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "read_corpus.h"
#include "shape.h"
#include "shape_split.h"
#include "test_files.h"

using namespace bsv2_internal;

namespace {

enum class Threads { kOne, kTwo };

Reported readPath(const std::string &path, Threads threads) {
    bsv2ReadOnOneThread(threads == Threads::kOne);
    char message[128];
    Bsv2Cause cause = BSV2_CAUSE_NONE;
    Shape shape = readShapeFromFileWithCause(path.c_str(), message, sizeof message, &cause, nullptr);
    bsv2ReadOnOneThread(0);
    return reported(shape, cause, message);
}

std::string describe(const Reported &read) {
    return "cause " + std::to_string(read.cause) + ", \"" + read.message + "\", " +
           std::to_string(read.coordinateBits.size() / 3) + " vertices, " + std::to_string(read.numTris) + " triangles";
}

// True when both readers give the same; says what differed otherwise.
// *loaded tells whether the read succeeded.
bool sameBothWays(const std::string &path, const std::string &what, bool *loaded = nullptr) {
    Reported one = readPath(path, Threads::kOne);
    Reported two = readPath(path, Threads::kTwo);
    if (loaded != nullptr) *loaded = one.cause == BSV2_CAUSE_NONE;
    if (two == one) return true;
    std::fprintf(stderr, "%s\n  two threads: %s\n  one thread:  %s\n", what.c_str(), describe(two).c_str(),
                 describe(one).c_str());
    return false;
}

// Large files laid out in ways that meet the helper's rules, and in ways
// that break them where it would look.
enum class Layout {
    kWriterLines,            // as the writer writes
    kCrLfBlankLinesIndents,  // "\r\n", a blank line now and then, leading blanks
    kIntegerCoordinates,     // vertex lines that look like triangles
    kPairsNowAndThen,        // two triangles on one line here and there
    kTrianglesAfterTheLast,  // text after the table that looks like triangles
    kFewerThanCounted,       // the count promises five more
    kOutOfRangeNearTheEnd,   // a vertex number one past the last vertex
    kSignsAndLeadingZeros,   // "+12 -0 0007"
};

std::string layoutText(Layout layout) {
    const int numVertices = 3000, numTris = 12000;
    std::mt19937 random(static_cast<unsigned>(layout) + 1);
    std::uniform_int_distribution<int> vertex(0, numVertices - 1);
    std::uniform_real_distribution<float> coordinate(-10, 10);
    int countedTris = layout == Layout::kFewerThanCounted ? numTris + 5 : numTris;
    const char *newline = layout == Layout::kCrLfBlankLinesIndents ? "\r\n" : "\n";
    std::string text = "BSV2\n" + std::to_string(numVertices) + "\n" + std::to_string(countedTris) + "\n";
    char line[128];
    for (int i = 0; i < numVertices; i++) {
        if (layout == Layout::kIntegerCoordinates)
            std::snprintf(line, sizeof line, "%d %d %d%s", vertex(random), vertex(random), vertex(random), newline);
        else
            std::snprintf(line, sizeof line, "%f %f %f%s", coordinate(random), coordinate(random), coordinate(random),
                          newline);
        text += line;
    }
    for (int j = 0; j < numTris; j++) {
        int a = vertex(random), b = vertex(random), c = vertex(random);
        if (layout == Layout::kOutOfRangeNearTheEnd && j == numTris - 50) c = numVertices;
        if (layout == Layout::kSignsAndLeadingZeros)
            std::snprintf(line, sizeof line, "+%d %07d -0%s", a, b, newline);
        else if (layout == Layout::kCrLfBlankLinesIndents && j % 100 == 0)
            std::snprintf(line, sizeof line, " \t%s  %d %d %d%s", newline, a, b, c, newline);
        else if (layout == Layout::kPairsNowAndThen && j % 500 == 0)
            std::snprintf(line, sizeof line, "%d %d %d ", a, b, c);
        else
            std::snprintf(line, sizeof line, "%d %d %d%s", a, b, c, newline);
        text += line;
    }
    if (layout == Layout::kTrianglesAfterTheLast) text += "1 2 3\n4 5 6\n";
    return text;
}

struct LayoutRow {
    const char *name;
    Layout layout;
};

const LayoutRow kLayouts[] = {
    {"WriterLines", Layout::kWriterLines},
    {"CrLfBlankLinesIndents", Layout::kCrLfBlankLinesIndents},
    {"IntegerCoordinates", Layout::kIntegerCoordinates},
    {"PairsNowAndThen", Layout::kPairsNowAndThen},
    {"TrianglesAfterTheLast", Layout::kTrianglesAfterTheLast},
    {"FewerThanCounted", Layout::kFewerThanCounted},
    {"OutOfRangeNearTheEnd", Layout::kOutOfRangeNearTheEnd},
    {"SignsAndLeadingZeros", Layout::kSignsAndLeadingZeros},
};

// Threads of this process: none may be left when a read is over. A thread
// that was joined may stay listed for a moment while the kernel ends it.
long threadsNow() {
    long count = 0;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/task")) count += entry.exists();
    return count;
}
long threadsSettled(long expected) {
    long count = threadsNow();
    for (int tries = 0; tries < 100 && count != expected; tries++) {
        usleep(10000);
        count = threadsNow();
    }
    return count;
}

// Every file read with a helper, whatever its size; one thread, no call
// after a read, as usual afterwards.
class SecondThread : public testing::Test {
protected:
    void SetUp() override {
        if (processorsToRunOn() < 2) GTEST_SKIP() << "this process may run on one processor only: no read is split";
        setSecondThreadBytes(1);
    }
    void TearDown() override {
        setSecondThreadBytes(kDefaultSecondThreadBytes);
        setAfterTwoThreadRead(nullptr);
        setHelperGoesFirst(false);
        bsv2ReadOnOneThread(0);
    }
};

class SecondThreadLayout : public SecondThread, public testing::WithParamInterface<LayoutRow> {};

TEST_P(SecondThreadLayout, ReadsAsOneThreadDoes) {
    ScratchDir dir;
    std::string path = dir.write("in.bsv2", layoutText(GetParam().layout));
    EXPECT_TRUE(sameBothWays(path, GetParam().name));
    setHelperGoesFirst(true);
    EXPECT_TRUE(sameBothWays(path, std::string(GetParam().name) + ", the helper first"));
}

INSTANTIATE_TEST_SUITE_P(Layouts, SecondThreadLayout, testing::ValuesIn(kLayouts),
                         [](const testing::TestParamInfo<LayoutRow> &row) { return std::string(row.param.name); });

TEST_F(SecondThread, ReadsTheCorpusAndThousandsOfChangesAsOneThreadDoes) {
    ScratchDir dir;
    std::vector<std::string> corpus = corpusFiles();
    std::vector<std::string> large;
    for (const LayoutRow &row : kLayouts) large.push_back(layoutText(row.layout));
    // Once before counting threads: a sanitizer's runtime starts one of its
    // own with the first thread.
    std::string first = dir.write("first.bsv2", large[0]);
    ASSERT_TRUE(sameBothWays(first, "the first read"));
    long threadsBefore = threadsNow();
    SecondThreadCounts before = secondThreadCounts();
    std::mt19937 random(3032026);
    int compared = 0, loaded = 0;
    auto compare = [&](const std::string &text, const std::string &what) {
        // Every other read as the two threads' speeds have it, the others
        // with the helper's part as large as it can be.
        setHelperGoesFirst(compared % 2 == 1);
        std::string path = dir.write("in.bsv2", text);
        bool read = false;
        ASSERT_TRUE(sameBothWays(path, what, &read));
        compared++;
        loaded += read;
    };
    for (std::size_t i = 0; i < corpus.size(); i++) compare(corpus[i], "corpus file " + std::to_string(i));
    for (std::size_t i = 0; i < large.size(); i++) compare(large[i], kLayouts[i].name);
    for (int i = 0; i < 1500; i++) compare(mutate(corpus[random() % corpus.size()], random), "corpus mutant");
    for (int i = 0; i < 1500; i++) compare(mutate(large[random() % large.size()], random), "large mutant");
    SecondThreadCounts after = secondThreadCounts();
    long started = after.started - before.started, kept = after.kept - before.kept;
    std::printf("compared %d inputs (%d load), one thread against two: the helper ran %ld times, its part kept %ld\n",
                compared, loaded, started, kept);
    EXPECT_EQ(threadsSettled(threadsBefore), threadsBefore) << "a helper was left running";
    // The comparison means something only where the helper's part counted
    // (most changes shift the triangles' lines, and then it cannot).
    EXPECT_GT(kept, compared / 100);
    EXPECT_GT(loaded, compared / 25);
}

// How a file changes after a two-thread read, before its status is looked
// at again.
enum class Change { kGrows, kSameSizeNewTime, kTimesPutBack };
struct ChangeRow {
    const char *name;
    Change change;
};

// What the change hook changes, and how: the file's last line, a triangle.
std::string changedPath;
std::size_t lastLineStart, lastLineLength;
Change changeNow;

void changeFile(int fd) {
    struct stat before;
    ASSERT_EQ(fstat(fd, &before), 0);
    int out = open(changedPath.c_str(), O_WRONLY);
    ASSERT_GE(out, 0);
    // "0 0 0" in the same bytes, or in one more.
    std::string line = "0 0 0" + std::string(lastLineLength - 6, ' ') + "\n";
    if (changeNow == Change::kGrows) line += "\n";
    ASSERT_EQ(pwrite(out, line.data(), line.size(), static_cast<off_t>(lastLineStart)),
              static_cast<ssize_t>(line.size()));
    if (changeNow == Change::kTimesPutBack) {
        struct timespec times[2] = {before.st_atim, before.st_mtim};
        ASSERT_EQ(futimens(out, times), 0);
    } else if (changeNow == Change::kSameSizeNewTime) {
        struct timespec times[2] = {before.st_atim, {before.st_mtim.tv_sec + 1, before.st_mtim.tv_nsec}};
        ASSERT_EQ(futimens(out, times), 0);
    }
    close(out);
}

class SecondThreadChange : public SecondThread, public testing::WithParamInterface<ChangeRow> {};

TEST_P(SecondThreadChange, ReadsAChangedFileAgainOnOneThread) {
    ScratchDir dir;
    std::string text = layoutText(Layout::kWriterLines);
    changedPath = dir.write("in.bsv2", text);
    lastLineStart = text.rfind('\n', text.size() - 2) + 1;
    lastLineLength = text.size() - lastLineStart;
    changeNow = GetParam().change;
    setAfterTwoThreadRead(changeFile);
    SecondThreadCounts before = secondThreadCounts();
    Reported two = readPath(changedPath, Threads::kTwo);
    setAfterTwoThreadRead(nullptr);
    // What one thread reads of the file as it is now: the last triangle is
    // "0 0 0", which the first read cannot have seen.
    Reported now = readPath(changedPath, Threads::kOne);
    ASSERT_EQ(now.cause, BSV2_CAUSE_NONE);
    ASSERT_EQ(std::vector<int>(now.vertexNumbers.end() - 3, now.vertexNumbers.end()), std::vector<int>(3, 0));
    EXPECT_TRUE(two == now) << "two threads: " << describe(two) << "\none thread:  " << describe(now);
    EXPECT_EQ(secondThreadCounts().reread - before.reread, 1);
}

const ChangeRow kChanges[] = {
    {"Grows", Change::kGrows},
    {"SameSizeNewTime", Change::kSameSizeNewTime},
    {"TimesPutBack", Change::kTimesPutBack},
};
INSTANTIATE_TEST_SUITE_P(Changes, SecondThreadChange, testing::ValuesIn(kChanges),
                         [](const testing::TestParamInfo<ChangeRow> &row) { return std::string(row.param.name); });

// Inputs that are never read with a second thread, and one that is.
enum class Input { kSmallFile, kPipe, kMemory, kSwitchedOff, kOneProcessor, kLargeFile };
struct InputRow {
    const char *name;
    Input input;
    long helpers;  // helpers a read of it starts
};

class SecondThreadInput : public SecondThread, public testing::WithParamInterface<InputRow> {};

TEST_P(SecondThreadInput, StartsAHelperOnlyForLargeRegularFiles) {
    ScratchDir dir;
    std::string text = layoutText(Layout::kWriterLines);
    Input input = GetParam().input;
    // The default threshold, for the small file and its control.
    if (input == Input::kSmallFile || input == Input::kLargeFile) setSecondThreadBytes(text.size());
    std::string path = dir.write("in.bsv2", input == Input::kSmallFile ? text.substr(0, text.size() - 1) : text);
    int pipeEnds[2] = {-1, -1};
    if (input == Input::kPipe) {
        ASSERT_EQ(pipe(pipeEnds), 0);
        ASSERT_EQ(fcntl(pipeEnds[1], F_SETPIPE_SZ, 1 << 20), 1 << 20) << "a pipe that holds the file";
        ASSERT_EQ(write(pipeEnds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
        close(pipeEnds[1]);
        path = "/proc/self/fd/" + std::to_string(pipeEnds[0]);
    }
    if (input == Input::kSwitchedOff) bsv2ReadOnOneThread(1);
    cpu_set_t processors, one;
    ASSERT_EQ(sched_getaffinity(0, sizeof processors, &processors), 0);
    if (input == Input::kOneProcessor) {
        CPU_ZERO(&one);
        for (int cpu = 0; cpu < CPU_SETSIZE; cpu++) {
            if (CPU_ISSET(cpu, &processors)) {
                CPU_SET(cpu, &one);
                break;
            }
        }
        ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    }
    long before = secondThreadCounts().started;
    char message[128];
    Bsv2Cause cause = BSV2_CAUSE_BAD_ARGUMENT;
    Shape shape = input == Input::kMemory
                      ? readShapeFromMemory(text.data(), text.size(), message, sizeof message, &cause)
                      : readShapeFromFileWithCause(path.c_str(), message, sizeof message, &cause, nullptr);
    EXPECT_EQ(cause, BSV2_CAUSE_NONE) << message;
    destroyShape(shape);
    if (pipeEnds[0] >= 0) close(pipeEnds[0]);
    ASSERT_EQ(sched_setaffinity(0, sizeof processors, &processors), 0);
    EXPECT_EQ(secondThreadCounts().started - before, GetParam().helpers);
}

const InputRow kInputs[] = {
    {"SmallFile", Input::kSmallFile, 0},
    {"Pipe", Input::kPipe, 0},
    {"Memory", Input::kMemory, 0},
    {"SwitchedOff", Input::kSwitchedOff, 0},
    {"OneProcessor", Input::kOneProcessor, 0},
    {"LargeFile", Input::kLargeFile, 1},
};
INSTANTIATE_TEST_SUITE_P(Inputs, SecondThreadInput, testing::ValuesIn(kInputs),
                         [](const testing::TestParamInfo<InputRow> &row) { return std::string(row.param.name); });

// In a child: where this user may start no process or thread (root's
// limits do not hold, so root becomes nobody first), every text reads as on
// one thread, and no helper ran. Exits 0 when so, 77 when no limit could be
// set or it did not stop a thread, 1 otherwise.
const int kNoLimit = 77;
int readUnderProcessLimit(const std::vector<std::string> &texts) {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) return kNoLimit;
    struct rlimit none = {0, 0};
    if (setrlimit(RLIMIT_NPROC, &none) != 0) return kNoLimit;
    pthread_t thread;
    if (pthread_create(
            &thread, nullptr, [](void *) -> void * { return nullptr; }, nullptr) == 0) {
        pthread_join(thread, nullptr);
        return kNoLimit;
    }
    long before = secondThreadCounts().started;
    for (const std::string &text : texts) {
        // A file this user can open: its own, in memory.
        int fd = memfd_create("bsv2-split", 0);
        if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return 1;
        bool same = sameBothWays("/proc/self/fd/" + std::to_string(fd), "under the process limit");
        close(fd);
        if (!same) return 1;
    }
    return secondThreadCounts().started == before ? 0 : 1;
}

TEST_F(SecondThread, GoesOnOnOneThreadWhereNoThreadCanStart) {
    std::vector<std::string> texts = corpusFiles();
    for (const LayoutRow &row : kLayouts) texts.push_back(layoutText(row.layout));
    std::fflush(nullptr);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(readUnderProcessLimit(texts));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child ended by a signal";
    if (WEXITSTATUS(status) == kNoLimit)
        GTEST_SKIP() << "no limit on processes could be set here that stops a thread (as root: no user nobody?)";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
