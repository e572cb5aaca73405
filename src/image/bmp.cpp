#include "image/bmp.h"

#include <cstdint>
#include <cstdio>

#include "image/picture.h"

namespace {

PictureFile picture;

constexpr std::uint64_t kHeaderSize = 54;  // file header, then the information header
constexpr std::uint64_t kInfoHeaderSize = 40;
constexpr std::uint64_t kMaxFileSize = UINT32_MAX;  // the header's size fields are 32-bit

std::uint64_t paddedRowSize(int width) {
    return (static_cast<std::uint64_t>(width) * 3 + 3) / 4 * 4;
}

}  // namespace

int openBMP(const char* path, int width, int height) {
    const std::uint64_t dataSize = paddedRowSize(width) * static_cast<std::uint64_t>(height);
    if (kHeaderSize + dataSize > kMaxFileSize) {
        std::printf("\n A %d x %d picture is too large for a BMP file\n", width, height);
        return -1;
    }
    if (!picture.create(path, width, height, ChannelOrder::kBGR)) return -1;

    // Resolution, compression and palette fields stay 0.
    unsigned char header[kHeaderSize] = {'B', 'M'};
    putLittleEndian(header + 2, kHeaderSize + dataSize, 4);
    putLittleEndian(header + 10, kHeaderSize, 4);
    putLittleEndian(header + 14, kInfoHeaderSize, 4);
    putLittleEndian(header + 18, width, 4);
    putLittleEndian(header + 22, height, 4);  // positive: the rows are stored bottom-up
    putLittleEndian(header + 26, 1, 2);       // planes
    putLittleEndian(header + 28, 24, 2);      // bits per pixel
    putLittleEndian(header + 34, dataSize, 4);
    picture.write(header, sizeof header);
    return 0;
}

void writeBMPLine(unsigned char* line, int row) {
    picture.storeLine(line, row);
}

int closeBMP() {
    picture.writeRows(RowOrder::kBottomUp, paddedRowSize(picture.width()) - picture.rowSize());
    return picture.commit() ? 0 : -1;
}

void abandonBMP() {
    picture.discard();
}
