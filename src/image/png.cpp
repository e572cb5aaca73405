#include "image/png.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>

#include "image/picture.h"

namespace {

PictureFile picture;
png_structp png = nullptr;
png_infop info = nullptr;

// Why libpng gave up, noted by its error callback before it jumps back.
struct {
    int error;  // errno of the failed write, or 0 when libpng failed for its own reason
    char message[200];
} failure;

// libpng must not return from its error callback: it jumps back to the return point set by
// the function that called into it. Throwing through libpng's C frames instead would not be
// safe, so the functions below that set a return point hold no objects with destructors, and
// their callers report the failure only after they have returned.
[[noreturn]] void onPngError(png_structp failed, png_const_charp message) {
    const int error = errno;
    failure.error = std::ferror(picture.file()) ? error : 0;
    std::snprintf(failure.message, sizeof failure.message, "%s", message);
    png_longjmp(failed, 1);
}

void noteFailure(const char* message) {
    failure.error = 0;
    std::snprintf(failure.message, sizeof failure.message, "%s", message);
}

// Sets up the encoder on the temporary file and writes the header; false once `failure`
// says why it could not.
bool startEncoder(int width, int height) {
    png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onPngError, nullptr);
    if (png != nullptr) info = png_create_info_struct(png);
    if (info == nullptr) {
        noteFailure("not enough memory for the PNG encoder");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) return false;

    png_init_io(png, picture.file());
    // libpng refuses pictures wider or taller than a million pixels unless told otherwise.
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_packing(png);
    return true;
}

// Compresses every row, top row first, and ends the file; false once `failure` says why it
// could not.
bool encodeRows() {
    if (setjmp(png_jmpbuf(png))) return false;

    for (int y = 0; y < picture.height(); ++y) {
        // libpng copies the row before it transforms or filters it: the picture stays as it is.
        png_bytep row = const_cast<png_bytep>(picture.row(y));
        png_write_rows(png, &row, 1);
    }
    png_write_end(png, info);
    return true;
}

void destroyEncoder() {
    png_destroy_write_struct(&png, &info);  // accepts null pointers and nulls both
}

}  // namespace

int openPNG(const char* path, int width, int height) {
    if (!picture.create(path, width, height, ChannelOrder::kRGB)) return -1;
    if (!startEncoder(width, height)) {
        destroyEncoder();
        picture.fail(failure.error, failure.message);
        return -1;
    }
    return 0;
}

void writePNGLine(unsigned char* line, int row) {
    picture.storeLine(line, row);
}

int closePNG() {
    const bool encoded = encodeRows();
    destroyEncoder();
    if (!encoded) {
        picture.fail(failure.error, failure.message);
        return -1;
    }
    return picture.commit() ? 0 : -1;
}

void abandonPNG() {
    destroyEncoder();
    picture.discard();
}
