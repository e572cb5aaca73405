#pragma once

#include <vector>

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

// The two ends of doTrace, for a render whose rows are traced elsewhere. openRender says how
// many threads run, makes the camera's frame, opens the output image and starts the progress
// bar; closeRender prints the render time, writes the image and releases the scene.
void openRender();
void closeRender(RenderReport& report);
void releaseScene();

// Renders rows first to first + count - 1 into the open image (or row window) on one thread
// per context, and returns the rays they traced. The camera's frame must be made.
RayCounts renderRows(int first, int count, std::vector<TraceContext>& contexts);

// Splits the image height into n consecutive row bands in iBounds.
void initMTBounds(int n);
