#pragma once

#include <cstdlib>

// Every random draw of the renderer (jitter, aperture, soft shadows, fuzzy reflections) comes
// from the C library's rand(), which runs from 0 to 2^31 - 1 here and is never seeded, so a
// single-threaded run repeats itself exactly.
constexpr double kRandMax = 2147483647.0;

// A number in [0, 1].
inline double unitRandom() {
    return std::rand() / kRandMax;
}
