#pragma once

#include <cstdio>

#include "model/fatal.h"

// What the run cannot go on without (the picture, the hierarchy, the traversal's queue)
// could not be had: the run ends with status 1.
[[noreturn]] inline void outOfMemory() {
    std::fputs("\n\n LUMORA is out of memory...\n", stderr);
    std::fflush(stderr);
    endProgram(1);
}
