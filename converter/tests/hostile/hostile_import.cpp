// A stand-in for a compromised importer: preloaded into bsv2-convert
// (LD_PRELOAD), it takes the place of Assimp's Importer::ReadFile, so that
// its code runs exactly where a hostile file's would, in the import child
// after the sandbox is in place. It acts out the lie that HOSTILE_ATTEMPT
// names (result_lies.h), or tries the escape it names (escapes.h); if that
// gets through, the import fails with a reason starting "escaped:",
// otherwise the real import runs and the conversion goes on as it would
// have.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <assimp/Importer.hpp>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "escapes.h"
#include "result_lies.h"

namespace {

using ReadFile = const aiScene *(*)(Assimp::Importer *, const char *, unsigned);

// Looked up when the library loads, before any sandbox: the member
// function as the C++ ABI names it.
const ReadFile realReadFile = reinterpret_cast<ReadFile>(dlsym(RTLD_NEXT, "_ZN6Assimp8Importer8ReadFileEPKcj"));

// The pipe the result goes back on, found as an attacker would: the first
// descriptor past standard error that is a pipe.
int resultPipe() {
    for (int fd = 3; fd < 1024; fd++) {
        struct stat info;
        if (fstat(fd, &info) == 0 && S_ISFIFO(info.st_mode)) return fd;
    }
    return -1;
}

void reportEscape(const std::string &text) {
    int fd = resultPipe();
    std::uint64_t length = text.size();
    if (write(fd, "e", 1) == 1 && write(fd, &length, sizeof length) == sizeof length &&
        write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()))
        _exit(0);
    _exit(1);
}

}  // namespace

const aiScene *Assimp::Importer::ReadFile(const char *file, unsigned int flags) {
    const char *name = std::getenv("HOSTILE_ATTEMPT");
    std::string attempt = name != nullptr ? name : "";
    lieOnResultPipe(attempt, resultPipe());
    std::string evidence;
    if (tryEscape(attempt, &evidence)) reportEscape("escaped: " + attempt + ": " + evidence);
    return realReadFile(this, file, flags);
}
