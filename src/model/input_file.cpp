#include "model/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FilePtr openRegularFile(const char* path, const char* mode) {
    // Without O_NONBLOCK, opening a pipe waits for a writer; a regular file ignores the flag
    // for reading, but it is cleared all the same before the stream is made.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info;
    const int flags = fcntl(fd, F_GETFL);
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || flags < 0 ||
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        return nullptr;
    }
    FilePtr file(fdopen(fd, mode));
    if (!file) close(fd);
    return file;
}
