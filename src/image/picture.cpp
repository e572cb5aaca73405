#include "image/picture.h"

#include <sys/stat.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "image/interrupt.h"
#include "model/out_of_memory.h"

namespace {

constexpr std::string_view kTemporarySuffix = ".partXXXXXX";

std::size_t fileNameStart(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? 0 : slash + 1;
}

// "<target>.partXXXXXX" in the target's directory, so that the final rename stays within one
// file system. A name near the length limit is shortened to leave room for the suffix.
std::string temporaryTemplate(const std::string& target) {
    const std::size_t start = fileNameStart(target);
    const std::size_t room = NAME_MAX - kTemporarySuffix.size();
    const std::size_t nameLength = std::min(target.size() - start, room);
    return target.substr(0, start + nameLength) + std::string(kTemporarySuffix);
}

// Refuses, with errno set, the targets that creating the file in place would have refused
// but that would otherwise only show when the picture is renamed after the whole render.
// Gives the permissions the picture is to have: those of the file it replaces, as if that
// had been overwritten, or those of a new file under the current umask.
bool checkTarget(const std::string& target, mode_t& mode) {
    if (target.size() - fileNameStart(target) > NAME_MAX) {
        errno = ENAMETOOLONG;
        return false;
    }
    struct stat existing;
    if (stat(target.c_str(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode)) {
            errno = EISDIR;
            return false;
        }
        if (access(target.c_str(), W_OK) != 0) return false;
        mode = existing.st_mode & 07777;
        return true;
    }
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
    return true;
}

// The file a name stands for: a symbolic link is followed to the file it points to, which
// need not exist yet, so that the finished picture replaces the link's target and the link
// stays. Null, with errno set, for links that lead round in a loop.
std::optional<std::string> followLinks(std::string path) {
    namespace fs = std::filesystem;
    constexpr int kMostLinks = 40;  // as many as the system itself follows
    for (int links = 0; links < kMostLinks; ++links) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(path, error))) return path;
        const fs::path target = fs::read_symlink(path, error);
        if (error) return path;
        path = target.is_absolute() ? target.string()
                                    : (fs::path(path).parent_path() / target).string();
    }
    errno = ELOOP;
    return std::nullopt;
}

void reportWriteFailure(const std::string& target, const char* reason) {
    std::printf("\n Cannot write output file: %s (%s)\n", target.c_str(), reason);
}

}  // namespace

// Whether the machine could hold `bytes` at all. More than its memory and swap together
// may still be granted by the system, lazily; filling it would then end in the system
// killing the process rather than in a message.
bool fitsInMemory(std::size_t bytes) {
    struct sysinfo info;
    if (sysinfo(&info) != 0) return true;
    const auto total =
        (static_cast<unsigned long long>(info.totalram) + info.totalswap) * info.mem_unit;
    return bytes <= total;
}

void reportCreateFailure(const char* path, int error) {
    std::printf("\n Cannot create output file: %s (%s)\n", path, std::strerror(error));
}

bool PictureFile::create(const char* path, int width, int height, ChannelOrder order) {
    assert(width >= 1 && height >= 1);
    discard();

    const std::optional<std::string> linked = followLinks(path);
    mode_t mode = 0;
    if (!linked || !checkTarget(*linked, mode)) {
        reportCreateFailure(path, errno);
        return false;
    }

    // Before the file, so that a picture too large for memory leaves nothing behind, and
    // before any ray is traced. Zeroed: a row the renderer never delivered comes out black
    // rather than as stale memory. The pages come zeroed and untouched from the system, so
    // each is first touched by the render thread that fills it, not all by this one before
    // the render starts.
    const std::size_t bytes =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
    if (fitsInMemory(bytes)) {
        pixels_ = {static_cast<unsigned char*>(mapLargePages(bytes)), PageUnmapper{bytes}};
    }
    if (pixels_ == nullptr) {
        std::printf("\n Not enough memory for a %d x %d picture\n", width, height);
        outOfMemory();
    }

    const std::string& target = *linked;
    std::string temporary = temporaryTemplate(target);
    const int fd = createGuardedTemporary(temporary);
    if (fd < 0) {
        reportCreateFailure(path, errno);
        release();
        return false;
    }
    // mkstemp makes the file private to its owner; the picture must not stay that way.
    std::FILE* file = fchmod(fd, mode) == 0 ? fdopen(fd, "wb") : nullptr;
    if (file == nullptr) {
        const int error = errno;
        close(fd);
        std::remove(temporary.c_str());
        reportCreateFailure(path, error);
        release();
        return false;
    }

    // Rows are longer than the stream's own buffer, which would then pass each one to the
    // system in pieces of its size.
    constexpr std::size_t kWriteBufferSize = std::size_t{1} << 18;
    writeBuffer_ = std::make_unique_for_overwrite<char[]>(kWriteBufferSize);
    std::setvbuf(file, writeBuffer_.get(), _IOFBF, kWriteBufferSize);
    file_.reset(file);
    target_ = target;
    temporary_ = std::move(temporary);
    width_ = width;
    height_ = height;
    order_ = order;
    writeError_ = 0;
    return true;
}

void PictureFile::storeLine(unsigned char* line, int row) {
    assert(row >= 0 && row < height_);
    const std::size_t size = rowSize();
    if (order_ == ChannelOrder::kBGR) {
        for (std::size_t i = 0; i < size; i += 3) std::swap(line[i], line[i + 2]);
    }
    std::memcpy(pixels_.get() + row * size, line, size);
}

void PictureFile::write(const void* bytes, std::size_t count) {
    if (count == 0) return;
    errno = 0;
    if (std::fwrite(bytes, 1, count, file_.get()) != count && writeError_ == 0) {
        writeError_ = errno != 0 ? errno : EIO;
    }
}

void PictureFile::writeRows(RowOrder order, std::size_t padding) {
    const std::vector<unsigned char> zeros(padding, 0);
    for (int i = 0; i < height_; ++i) {
        write(row(order == RowOrder::kTopDown ? i : height_ - 1 - i), rowSize());
        write(zeros.data(), padding);
    }
}

bool PictureFile::commit() {
    if (file_ == nullptr) return false;

    // The data must be on disk before the rename, or a crash could leave an empty picture
    // under the target's name.
    int error = writeError_;
    std::FILE* file = file_.release();
    if (error == 0 && std::fflush(file) != 0) error = errno;
    if (error == 0 && std::ferror(file)) error = EIO;
    if (error == 0 && fsync(fileno(file)) != 0) error = errno;
    if (std::fclose(file) != 0 && error == 0) error = errno;
    if (error == 0 && std::rename(temporary_.c_str(), target_.c_str()) != 0) error = errno;

    if (error != 0) {
        std::remove(temporary_.c_str());
        reportWriteFailure(target_, std::strerror(error));
    }
    release();
    return error == 0;
}

void PictureFile::discard() {
    if (file_ != nullptr) {
        file_.reset();
        std::remove(temporary_.c_str());
    }
    release();
}

void PictureFile::fail(int error, const char* reason) {
    reportWriteFailure(target_, error != 0 ? std::strerror(error) : reason);
    discard();
}

void PictureFile::release() {
    releaseTemporaryFile();
    pixels_.reset();
    writeBuffer_.reset();
    target_.clear();
    temporary_.clear();
    width_ = 0;
    height_ = 0;
}
