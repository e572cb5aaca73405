#include "image/tiff.h"

#include <tiffio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include "image/picture.h"

namespace {

PictureFile picture;
TIFF* encoder = nullptr;

// The first error libtiff reported for the open picture; later ones follow from it.
struct {
    bool noted;
    int error;  // errno of the failed write, or 0 when libtiff failed for its own reason
    char message[200];
} failure;

// Every error reaches the user once, in the writer's own message: libtiff's handler, which
// would print it again on standard error, is not called.
int onTiffError(TIFF*, void*, const char*, const char* format, va_list arguments) {
    const int error = errno;  // cleared before each call into libtiff
    if (!failure.noted) {
        failure.noted = true;
        failure.error = error;
        std::vsnprintf(failure.message, sizeof failure.message, format, arguments);
    }
    return 1;
}

// libtiff writes through its own descriptor, a duplicate of the temporary file's: closing the
// TIFF closes only the duplicate, and the temporary file is then synced, closed and renamed
// into place by commit() like that of every other format.
TIFF* openOnTemporary(const char* path) {
    const int descriptor = dup(fileno(picture.file()));
    if (descriptor < 0) return nullptr;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFF* opened = nullptr;
    if (options != nullptr) {
        TIFFOpenOptionsSetErrorHandlerExtR(options, onTiffError, nullptr);
        opened = TIFFFdOpenExt(descriptor, path, "w", options);
        TIFFOpenOptionsFree(options);
    }
    if (opened == nullptr) close(descriptor);
    return opened;
}

bool setFields(int width, int height) {
    return TIFFSetField(encoder, TIFFTAG_IMAGEWIDTH, width) &&
           TIFFSetField(encoder, TIFFTAG_IMAGELENGTH, height) &&
           TIFFSetField(encoder, TIFFTAG_BITSPERSAMPLE, 8) &&
           TIFFSetField(encoder, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
           TIFFSetField(encoder, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
           TIFFSetField(encoder, TIFFTAG_SAMPLESPERPIXEL, 3) &&
           TIFFSetField(encoder, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
           TIFFSetField(encoder, TIFFTAG_ROWSPERSTRIP, 1) &&
           TIFFSetField(encoder, TIFFTAG_IMAGEDESCRIPTION, "lumora pic!");
}

// Reports why libtiff failed or, when it did not say, `error` (an errno, or 0) and our own
// reason.
void fail(int error, const char* otherwise) {
    if (failure.noted) {
        picture.fail(failure.error, failure.message);
    } else {
        picture.fail(error, otherwise);
    }
}

}  // namespace

int openTIFF(const char* path, int width, int height) {
    if (!picture.create(path, width, height, ChannelOrder::kRGB)) return -1;
    failure = {};
    errno = 0;
    encoder = openOnTemporary(path);
    if (encoder == nullptr) {
        fail(errno, "the TIFF encoder cannot be set up");
        return -1;
    }
    errno = 0;
    if (!setFields(width, height)) {
        const int error = errno;
        TIFFClose(encoder);
        encoder = nullptr;
        fail(error, "the TIFF fields cannot be set");
        return -1;
    }
    return 0;
}

void writeTIFFLine(unsigned char* line, int row) {
    picture.storeLine(line, row);
}

int closeTIFF() {
    bool written = true;
    for (int y = 0; written && y < picture.height(); ++y) {
        errno = 0;
        // With 8-bit samples libtiff neither swaps nor otherwise changes the row it is given.
        written = TIFFWriteScanline(encoder, const_cast<unsigned char*>(picture.row(y)), y, 0) >= 0;
    }
    if (written) {
        errno = 0;
        written = TIFFFlush(encoder) == 1;  // the directory, which TIFFClose would write unchecked
    }
    const int error = errno;
    TIFFClose(encoder);
    encoder = nullptr;
    if (!written || failure.noted) {
        fail(error, "the TIFF file cannot be completed");
        return -1;
    }
    return picture.commit() ? 0 : -1;
}

void abandonTIFF() {
    if (encoder != nullptr) {
        TIFFClose(encoder);
        encoder = nullptr;
    }
    picture.discard();
}
