#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "model/large_pages.h"

// The channel order a format stores; lines always arrive as R,G,B.
enum class ChannelOrder { kRGB, kBGR };

enum class RowOrder { kTopDown, kBottomUp };

// What every format keeps between open and close: the whole picture in memory, so that lines
// may arrive in any order, and a temporary file beside the target that takes the target's
// place only once the whole picture has been written. A render that fails or is interrupted
// therefore never leaves a truncated picture, nor destroys the one it would have replaced.
class PictureFile {
  public:
    PictureFile() = default;
    ~PictureFile() { discard(); }
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;

    // Creates the temporary file and a black picture of width x height (both at least 1).
    // On failure prints why, naming `path`, leaves nothing behind and returns false.
    bool create(const char* path, int width, int height, ChannelOrder order);

    // Stores a line of width R,G,B pixels as row `row` (0 is the top). For a B,G,R format the
    // caller's line is reordered in place. Touches nothing but that row and the line, so band
    // threads may store their own rows at the same time.
    void storeLine(unsigned char* line, int row);

    // Appends to the temporary file. A failure is remembered and reported by commit().
    void write(const void* bytes, std::size_t count);
    // Appends every row in the given order, each followed by `padding` zero bytes.
    void writeRows(RowOrder order, std::size_t padding = 0);

    // Puts the written file in the target's place and releases the picture. On failure
    // prints why, naming the target, removes the temporary file and returns false.
    bool commit();
    // Releases the picture and removes the temporary file; the target is not touched.
    void discard();
    // For an encoder that gave up: prints why, naming the target, then discards. `error` is
    // the errno of the write that failed, or 0 when the encoder failed for its own `reason`.
    void fail(int error, const char* reason);

    int width() const { return width_; }
    int height() const { return height_; }
    std::size_t rowSize() const { return static_cast<std::size_t>(width_) * 3; }
    const unsigned char* row(int row) const { return pixels_.get() + row * rowSize(); }
    // The temporary file, for encoders that write through their own library.
    std::FILE* file() const { return file_.get(); }

  private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    struct PageUnmapper {
        std::size_t bytes;
        void operator()(unsigned char* data) const noexcept { unmapLargePages(data, bytes); }
    };

    void release();

    std::unique_ptr<char[]> writeBuffer_;  // outlives file_, which writes through it
    std::unique_ptr<std::FILE, FileCloser> file_;
    std::string target_;
    std::string temporary_;
    std::unique_ptr<unsigned char[], PageUnmapper> pixels_;
    int width_ = 0;
    int height_ = 0;
    ChannelOrder order_ = ChannelOrder::kRGB;
    int writeError_ = 0;  // errno of the first failed write; 0 while every write succeeded
};

// Prints that the picture `path` cannot be created, and why: `error` is an errno.
void reportCreateFailure(const char* path, int error);

// Stores the low `size` bytes of `value` at `at`, least significant first, as the TGA and BMP
// headers want them.
inline void putLittleEndian(unsigned char* at, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}
