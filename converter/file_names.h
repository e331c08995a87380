// The parts of a file's name the converter goes by.
#ifndef CONVERTER_FILE_NAMES_H
#define CONVERTER_FILE_NAMES_H

#include <string>

// The extension of the last component of `path`, dot included and in lower
// case (".obj" for "dir.v2/Model.OBJ"); "" when it has none.
std::string lowerExtension(const std::string &path);

#endif
