#include "image/image.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "image/bmp.h"
#include "image/jpg.h"
#include "image/picture.h"
#include "image/png.h"
#include "image/ppm.h"
#include "image/tga.h"
#include "image/tiff.h"
#include "model/fatal.h"
#include "model/globals.h"

namespace {

// One output format: the extension added to the output name and its writer's operations.
struct ImageWriter {
    const char* name;
    const char* extension;
    int (*open)(const char* path, int width, int height);
    void (*writeLine)(unsigned char* line, int row);
    int (*close)();
    void (*abandon)();
};

// Indexed by iImageType.
constexpr ImageWriter kWriters[] = {
    {"TGA", ".tga", openTGA, writeTGALine, closeTGA, abandonTGA},
    {"BMP", ".bmp", openBMP, writeBMPLine, closeBMP, abandonBMP},
    {"PPM", ".ppm", openPPM, writePPMLine, closePPM, abandonPPM},
    {"PNG", ".png", openPNG, writePNGLine, closePNG, abandonPNG},
    {"JPEG", ".jpg", openJPG, writeJPGLine, closeJPG, abandonJPG},
    {"TIFF", ".tif", openTIFF, writeTIFFLine, closeTIFF, abandonTIFF},
};
static_assert(std::size(kWriters) == IMAGE_TIFF + 1);

// Rows kept in memory for a render whose rows go elsewhere than a file: rows first to
// first + count - 1 of a picture `width` pixels wide.
struct RowWindow {
    std::vector<unsigned char> rows;
    int width = 0;
    int first = 0;
    int count = 0;
};
RowWindow window;

void storeWindowLine(unsigned char* line, int row) {
    if (row < window.first || row >= window.first + window.count) return;
    const std::size_t size = 3 * static_cast<std::size_t>(window.width);
    std::copy_n(line, size, window.rows.begin() + static_cast<std::ptrdiff_t>(
                                                      (row - window.first) * size));
}

int closeWindow() {
    window = {};
    return 0;
}

void abandonWindow() {
    window = {};
}

constexpr ImageWriter kWindowWriter = {"rows", "", nullptr, storeWindowLine, closeWindow,
                                       abandonWindow};

// The writer of the open image, null while none is open. Set and cleared on the main thread
// only, before the band threads start and after they have been joined.
const ImageWriter* current = nullptr;

// Opens the picture as openImage does, and returns the path it will be written under.
std::string createImage(const char* name, int width, int height) {
    abandonImage();

    if (iImageType < 0 || iImageType >= static_cast<int>(std::size(kWriters))) {
        std::printf("\n Unknown output format %d\n", iImageType);
        endProgram(kErrorStatus);
    }
    const ImageWriter& writer = kWriters[iImageType];

    // The format's extension is added unless the name already ends with it: "pic" and
    // "pic.png" both write pic.png, while "pic.bmp" with PNG output writes pic.bmp.png.
    // A directory is no picture: "dir/" would otherwise write the hidden file "dir/.ppm".
    std::error_code error;
    const std::string_view given = name;
    if (given.ends_with('/') || std::filesystem::is_directory(given, error)) {
        reportCreateFailure(name, EISDIR);
        endProgram(kErrorStatus);
    }
    std::string path = name;
    if (!path.ends_with(writer.extension)) path += writer.extension;
    if (writer.open(path.c_str(), width, height) != 0) endProgram(kErrorStatus);
    current = &writer;
    return path;
}

}  // namespace

int openImage(const char* name, int width, int height) {
    const std::string path = createImage(name, width, height);
    std::printf(" Rendering to: %s\n", path.c_str());
    std::printf(" Resolution:   %d x %d\n", width, height);
    return 0;
}

void openImageSilently(const char* name, int width, int height) {
    createImage(name, width, height);
}

void openRowWindow(int width, int first, int count) {
    abandonImage();
    window.rows.assign(3 * static_cast<std::size_t>(width) * count, 0);
    window.width = width;
    window.first = first;
    window.count = count;
    current = &kWindowWriter;
}

std::span<const unsigned char> windowRows() {
    return window.rows;
}

int writeImageLine(unsigned char* line, int row) {
    if (current == nullptr) return -1;
    current->writeLine(line, row);
    return 0;
}

void closeImage() {
    const ImageWriter* writer = std::exchange(current, nullptr);
    if (writer != nullptr && writer->close() != 0) endProgram(kErrorStatus);
}

void abandonImage() {
    const ImageWriter* writer = std::exchange(current, nullptr);
    if (writer != nullptr) writer->abandon();
}
