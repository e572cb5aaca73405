#include "image/jpg.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>

// libjpeg's header needs FILE and size_t declared before it.
#include <jpeglib.h>

#include "image/picture.h"
#include "model/globals.h"

namespace {

PictureFile picture;

constexpr int kDefaultQuality = 90;  // for a quality that was never set, or is below 1
constexpr int kMaxQuality = 100;
constexpr int kMaxSide = JPEG_MAX_DIMENSION;

// libjpeg's standard error manager, except that a fatal error jumps back to the encoder
// instead of ending the process, after noting why.
struct JpegErrors {
    jpeg_error_mgr manager;  // first: libjpeg hands the callback a pointer to it
    std::jmp_buf returnPoint;
    int error;  // errno of the failed write, or 0 when libjpeg failed for its own reason
    char message[JMSG_LENGTH_MAX];
};

// Jumping over libjpeg's C frames is what its error manager is built for; throwing through
// them would not be safe. So encode() holds no objects with destructors, and closeJPG reports
// the failure only after encode() has returned.
[[noreturn]] void onJpegError(j_common_ptr compressor) {
    const int error = errno;
    auto* errors = reinterpret_cast<JpegErrors*>(compressor->err);
    errors->error = std::ferror(picture.file()) ? error : 0;
    (*compressor->err->format_message)(compressor, errors->message);
    std::longjmp(errors->returnPoint, 1);
}

// Compresses the whole picture into the temporary file; false once `errors` says why it
// could not.
bool encode(JpegErrors& errors) {
    jpeg_compress_struct compressor{};  // zeroed, so that destroying it early is safe
    compressor.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = onJpegError;
    if (setjmp(errors.returnPoint)) {
        jpeg_destroy_compress(&compressor);
        return false;
    }

    jpeg_create_compress(&compressor);
    jpeg_stdio_dest(&compressor, picture.file());
    compressor.image_width = image_width;
    compressor.image_height = image_height;
    compressor.input_components = 3;
    compressor.in_color_space = JCS_RGB;
    jpeg_set_defaults(&compressor);
    jpeg_set_quality(&compressor, jpeg_quality, TRUE);  // baseline-compatible tables

    jpeg_start_compress(&compressor, TRUE);
    while (compressor.next_scanline < compressor.image_height) {
        // libjpeg only reads the rows it is given, whatever its pointer types say.
        JSAMPROW row = const_cast<JSAMPROW>(picture.row(compressor.next_scanline));
        jpeg_write_scanlines(&compressor, &row, 1);
    }
    jpeg_finish_compress(&compressor);  // flushes the file and checks it for errors
    jpeg_destroy_compress(&compressor);
    return true;
}

}  // namespace

int openJPG(const char* path, int width, int height) {
    if (width > kMaxSide || height > kMaxSide) {
        std::printf("\n A JPEG picture is at most %d x %d pixels, not %d x %d\n", kMaxSide,
                    kMaxSide, width, height);
        return -1;
    }
    if (!picture.create(path, width, height, ChannelOrder::kRGB)) return -1;
    image_width = width;
    image_height = height;
    return 0;
}

void writeJPGLine(unsigned char* line, int row) {
    picture.storeLine(line, row);
}

int closeJPG() {
    if (jpeg_quality < 1) {
        jpeg_quality = kDefaultQuality;
    } else if (jpeg_quality > kMaxQuality) {
        jpeg_quality = kMaxQuality;
    }

    JpegErrors errors{};
    if (!encode(errors)) {
        picture.fail(errors.error, errors.message);
        return -1;
    }
    return picture.commit() ? 0 : -1;
}

void abandonJPG() {
    picture.discard();
}
