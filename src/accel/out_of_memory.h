#pragma once

#include <cstdio>

#include "model/fatal.h"

// The hierarchy and its traversal cannot go on without memory: the run ends with status 1.
[[noreturn]] inline void outOfMemory() {
    std::fputs("\n\n LUMORA is out of memory...\n", stderr);
    std::fflush(stderr);
    endProgram(1);
}
