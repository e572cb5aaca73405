#pragma once

#include <cstdio>
#include <memory>

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` for reading with the fopen `mode` when it names a regular file, or a link to
// one; null otherwise: missing, unreadable, a directory, a named pipe or a device. Never
// waits: opening a pipe that no program writes to would block forever.
FilePtr openRegularFile(const char* path, const char* mode);
