// The converter's import isolation from the inside: what the sandbox lets a
// child do, and the parent's refusal of results it cannot trust.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "landlock.h"
#include "memory_limit.h"
#include "mesh_wire.h"
#include "sandbox.h"
#include "test_files.h"

namespace {

TEST(Sandbox, AllowsReadingRefusesWritingSocketsAndKillsOnExec) {
    ScratchDir dir;
    std::string existing = dir.write("mesh.obj", "v 0 0 0\n");
    std::string fresh = dir.path("new.txt");
    EXPECT_EXIT(
        {
            bool ok = true;
            std::string why;
            // Standard error stands in for the result pipe, so that the
            // checks can say what failed.
            CHILD_CHECK(&ok, enterSandbox(2, &why));
            std::FILE *readable = std::fopen(existing.c_str(), "r");
            CHILD_CHECK(&ok, readable != nullptr);
            if (readable != nullptr) std::fclose(readable);
            CHILD_CHECK(&ok, std::fopen(fresh.c_str(), "w") == nullptr && errno == EACCES);
            CHILD_CHECK(&ok, open(existing.c_str(), O_RDWR) < 0 && errno == EACCES);
            CHILD_CHECK(&ok, open(existing.c_str(), O_RDONLY | O_APPEND) < 0);
            CHILD_CHECK(&ok, socket(AF_INET, SOCK_STREAM, 0) < 0 && errno == ENOSYS);
            CHILD_CHECK(&ok, syscall(SYS_openat2, AT_FDCWD, fresh.c_str(), nullptr, 0) < 0 && errno == ENOSYS);
            CHILD_CHECK(&ok, unlink(existing.c_str()) != 0);
            if (!ok) std::_Exit(1);
            execl("/bin/true", "true", static_cast<char *>(nullptr));
            std::_Exit(2);
        },
        testing::KilledBySignal(SIGSYS), "");
    EXPECT_FALSE(fileExists(fresh));
    EXPECT_TRUE(fileExists(existing));
}

// Under Landlock and the filter together, as an import runs: opening a
// folder is refused like opening a file, with EACCES, not with the
// filter's ENOSYS for calls it does not know.
TEST(Sandbox, RefusesFoldersAsFilesWithEacces) {
    if (landlockVersion() == 0) GTEST_SKIP() << "this kernel has no Landlock";
    ScratchDir dir;
    std::string other = dir.write("other.obj", "v 0 0 0\n");
    EXPECT_EXIT(
        {
            bool ok = true;
            std::string why;
            CHILD_CHECK(&ok, dropPrivileges(&why) && confineToReading({}, &why) && enterSandbox(2, &why));
            CHILD_CHECK(&ok, open(other.c_str(), O_RDONLY) < 0 && errno == EACCES);
            CHILD_CHECK(&ok, open(dir.root.c_str(), O_RDONLY | O_DIRECTORY) < 0 && errno == EACCES);
            std::_Exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

// A well-formed mesh frame of two vertices and one triangle, for the cases
// to break.
std::string meshFrame(std::int64_t numVertices, std::int64_t numTris, std::int32_t corner, std::size_t cut = 0) {
    std::int64_t header[4] = {numVertices, numTris, 0, 0};
    float vertices[6] = {0, 0, 0, 1, 1, 1};
    std::int32_t corners[3] = {0, 1, corner};
    std::string payload(reinterpret_cast<const char *>(header), sizeof header);
    payload.append(reinterpret_cast<const char *>(vertices), sizeof vertices);
    payload.append(reinterpret_cast<const char *>(corners), sizeof corners);
    payload.resize(payload.size() - cut);
    std::uint64_t length = payload.size();
    return "m" + std::string(reinterpret_cast<const char *>(&length), sizeof length) + payload;
}

std::string failureFrame(const std::string &reason) {
    std::uint64_t length = reason.size();
    return "e" + std::string(reinterpret_cast<const char *>(&length), sizeof length) + reason;
}

const std::string kProgressFrame = std::string("p\4\0\0\0\0\0\0\0\0\0\0\77", 13);  // a share of 0.5
const std::string kOutOfMemoryFrame = std::string("o\0\0\0\0\0\0\0\0", 9);

// How the parent found the stream: stopped while it arrived, or what its
// final frame came to once it ended.
enum class Ends { kAsMesh, kStopped, kMalformed, kWithoutResult, kWithReason, kOutOfMemory };

struct ResultCase {
    const char *name;
    std::string bytes;
    Ends ends;
    std::string reason = "the importer returned a malformed result";  // when not a mesh
};

void noteProgress(double share) { EXPECT_EQ(share, 0.5); }

class ReceiveMesh : public testing::TestWithParam<ResultCase> {};

// The bytes arrive 5 at a time, so that every frame is cut somewhere.
TEST_P(ReceiveMesh, TrustsOnlyCountsTheBytesBearOutAndVertexNumbersInRange) {
    const ResultCase &c = GetParam();
    WireReceiver receiver;
    std::string reason;
    bool inBounds = true;
    for (std::size_t at = 0; inBounds && at < c.bytes.size(); at += 5) {
        inBounds = takeWireBytes(&receiver, c.bytes.data() + at, std::min<std::size_t>(5, c.bytes.size() - at), 1 << 20,
                                 noteProgress, &reason);
    }
    Shape shape = nullptr;
    LeftOut leftOut;
    Ends ends = Ends::kStopped;
    if (inBounds) {
        WireResult result = wireResult(&receiver, &shape, &leftOut, &reason);
        ends = result == WireResult::kMesh          ? Ends::kAsMesh
               : result == WireResult::kMalformed   ? Ends::kMalformed
               : result == WireResult::kFailure     ? Ends::kWithReason
               : result == WireResult::kOutOfMemory ? Ends::kOutOfMemory
                                                    : Ends::kWithoutResult;
    }
    releaseWire(&receiver);
    EXPECT_EQ(ends, c.ends) << reason;
    if (shape != nullptr) {
        EXPECT_EQ(shape->numVertices, 2);
        EXPECT_EQ(shape->tTable[2], 1);
        EXPECT_EQ(shape->vTable[5], 1.0f);
    } else if (c.ends != Ends::kWithoutResult && c.ends != Ends::kOutOfMemory) {
        EXPECT_EQ(reason, c.reason);
    }
    destroyShape(shape);
}

INSTANTIATE_TEST_SUITE_P(
    Import, ReceiveMesh,
    testing::Values(ResultCase{"WellFormed", meshFrame(2, 1, 1), Ends::kAsMesh},
                    ResultCase{"AfterProgress", kProgressFrame + kProgressFrame + meshFrame(2, 1, 1), Ends::kAsMesh},
                    ResultCase{"VertexNumberOutOfRange", meshFrame(2, 1, 2), Ends::kMalformed},
                    ResultCase{"NegativeVertexNumber", meshFrame(2, 1, -1), Ends::kMalformed},
                    ResultCase{"CountsClaimMoreThanSent", meshFrame(2, 100000000, 1), Ends::kStopped},
                    ResultCase{"TailCutOff", meshFrame(2, 1, 1, 4), Ends::kStopped},
                    ResultCase{"StreamEndsEarly", meshFrame(2, 1, 1).substr(0, 60), Ends::kWithoutResult},
                    ResultCase{"NegativeCount", meshFrame(-2, 1, 1), Ends::kStopped},
                    ResultCase{"HeaderOnly", std::string("m\0\0\0\0\0\0\0\0", 9), Ends::kStopped},
                    ResultCase{"UnknownTag", "x" + meshFrame(2, 1, 1).substr(1), Ends::kStopped},
                    ResultCase{"MoreAfterTheResult", meshFrame(2, 1, 1) + kProgressFrame, Ends::kStopped,
                               "the importer sent more than a result can hold"},
                    ResultCase{"Nothing", "", Ends::kWithoutResult},
                    ResultCase{"ImportersOwnReason", failureFrame("bad!!"), Ends::kWithReason, "bad!!"},
                    ResultCase{"ImportersClaimOfNoMemory", kOutOfMemoryFrame, Ends::kOutOfMemory}),
    [](const testing::TestParamInfo<ResultCase> &info) { return std::string(info.param.name); });

}  // namespace
