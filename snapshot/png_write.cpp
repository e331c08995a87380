#include "png_write.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace {

// libpng reports errors by longjmp; the reason is kept here on the way.
struct PngErrors {
    std::string reason;
};

[[noreturn]] void onPngError(png_structp png, png_const_charp message) {
    static_cast<PngErrors *>(png_get_error_ptr(png))->reason = message;
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

// Everything libpng needs set up and written, between setjmp's return
// points; no object with a destructor lives here.
bool writeRows(png_structp png, png_infop info, std::FILE *file, int width, int height,
               const std::vector<unsigned char> &rgb) {
    if (setjmp(png_jmpbuf(png)) != 0) return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; y++) png_write_row(png, rgb.data() + 3 * static_cast<std::size_t>(width) * y);
    png_write_end(png, info);
    return true;
}

}  // namespace

bool writePng(const char *path, int width, int height, const std::vector<unsigned char> &rgb, std::string *reason) {
    std::FILE *file = std::fopen(path, "wb");
    if (file == nullptr) {
        *reason = std::strerror(errno);
        return false;
    }
    PngErrors errors;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &errors, onPngError, onPngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    bool written = info != nullptr && writeRows(png, info, file, width, height, rgb);
    png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
    // libpng's writes go through the stream, whose errors stick to it.
    int savedErrno = errno;
    bool streamFailed = std::ferror(file) != 0;
    if (std::fclose(file) != 0) {
        streamFailed = true;
        savedErrno = errno;
    }
    if (!written || streamFailed) {
        *reason = streamFailed ? std::strerror(savedErrno != 0 ? savedErrno : EIO)
                               : (errors.reason.empty() ? "libpng cannot write it" : errors.reason);
        return false;
    }
    return true;
}
