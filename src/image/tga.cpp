#include "image/tga.h"

#include <cstdio>

#include "image/picture.h"

namespace {

PictureFile picture;

constexpr int kHeaderSize = 18;
constexpr int kMaxSide = 65535;  // width and height are 16-bit header fields

}  // namespace

int openTGA(const char* path, int width, int height) {
    if (width > kMaxSide || height > kMaxSide) {
        std::printf("\n A TGA picture is at most %d x %d pixels, not %d x %d\n", kMaxSide, kMaxSide,
                    width, height);
        return -1;
    }
    if (!picture.create(path, width, height, ChannelOrder::kBGR)) return -1;

    unsigned char header[kHeaderSize] = {};  // no identification, no colour map, origin 0, 0
    header[2] = 2;                           // uncompressed true colour
    putLittleEndian(header + 12, width, 2);
    putLittleEndian(header + 14, height, 2);
    header[16] = 24;    // bits per pixel
    header[17] = 0x20;  // the first row in the file is the top one
    picture.write(header, sizeof header);
    return 0;
}

void writeTGALine(unsigned char* line, int row) {
    picture.storeLine(line, row);
}

int closeTGA() {
    picture.writeRows(RowOrder::kTopDown);
    return picture.commit() ? 0 : -1;
}

void abandonTGA() {
    picture.discard();
}
