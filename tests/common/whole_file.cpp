#include "whole_file.h"

#include <cstdio>

std::string readWholeFile(const std::string &path) {
    std::string content;
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return content;
    char chunk[1 << 16];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) content.append(chunk, got);
    std::fclose(file);
    return content;
}
