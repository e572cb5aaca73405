#include "image/ppm.h"

#include <string>

#include "image/picture.h"

namespace {

PictureFile picture;

}  // namespace

int openPPM(const char* path, int width, int height) {
    if (!picture.create(path, width, height, ChannelOrder::kRGB)) return -1;

    // Exactly one newline after the maximum value: a reader takes the next byte as a pixel.
    const std::string header =
        "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    picture.write(header.data(), header.size());
    return 0;
}

void writePPMLine(unsigned char* line, int row) {
    picture.storeLine(line, row);
}

int closePPM() {
    picture.writeRows(RowOrder::kTopDown);
    return picture.commit() ? 0 : -1;
}

void abandonPPM() {
    picture.discard();
}
