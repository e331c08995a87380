// Scratch files for tests: a private directory per test, and whole-file
// reads and writes of raw bytes (NUL bytes included).
#ifndef TESTS_COMMON_TEST_FILES_H
#define TESTS_COMMON_TEST_FILES_H

#include <string>

#include "whole_file.h"

// A fresh directory under $TMPDIR (or /tmp), removed with its contents when
// the object goes out of scope.
struct ScratchDir {
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    // Path of `name` inside the directory.
    std::string path(const std::string &name) const;
    // Writes `bytes` to `name` inside the directory and returns its path.
    std::string write(const std::string &name, const std::string &bytes) const;

    std::string root;
};

bool fileExists(const std::string &path);

// An OBJ file of `count` separate triangles (3 × `count` vertices), for
// outputs larger than a pipe's buffer or a format's header.
std::string separateTrianglesObj(int count);

#endif
