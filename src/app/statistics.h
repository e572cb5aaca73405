#pragma once

#include "render/trace.h"

// How long the phases of the run before the render took, in seconds of wall time.
struct LoadTimes {
    double parse = 0;
    double hierarchy = 0;
};

// Prints what "--stats" asks for: the rays traced by kind, the hierarchy's size and depth,
// the traversal queue's high-water mark, the time of each phase and the peak memory.
void printStatistics(const LoadTimes& load, const RenderReport& render, int composites,
                     int primitives, int depth);

// The most memory the process has held at once, in bytes.
long long peakMemoryBytes();
