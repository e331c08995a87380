// Writing a picture as a PNG file, through libpng.
#ifndef SNAPSHOT_PNG_WRITE_H
#define SNAPSHOT_PNG_WRITE_H

#include <string>
#include <vector>

// Writes `rgb` (width x height pixels of red, green and blue bytes, the top
// row first) to `path` as an 8-bit RGB PNG, creating or truncating it.
//   Returns false, with the reason in *reason, when the file cannot be
//   opened or written or libpng fails; what was written then stays (write
//   to a temporary file to have all or nothing: whole_output.h).
bool writePng(const char *path, int width, int height, const std::vector<unsigned char> &rgb, std::string *reason);

#endif
