#pragma once

#include "render/context.h"

// What a render measured.
struct RenderReport {
    RayCounts rays;
    double renderSeconds = 0;  // wall time of the scan
    double writeSeconds = 0;   // wall time of closing the image, which writes the file
};

// Renders the loaded scene into the output image, on one thread or on numThreads threads,
// and releases the scene. Raises maxQueueSize to the most candidates a traversal queued.
RenderReport doTrace();

// Splits the image height into n consecutive row bands in iBounds.
void initMTBounds(int n);
