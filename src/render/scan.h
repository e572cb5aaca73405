#pragma once

#include <cstddef>
#include <new>
#include <vector>

#include "model/records.h"
#include "render/context.h"
#include "render/rows.h"

// Scan routines: each renders the rows that `rows` hands to render thread `index` (starting
// with the band iBounds[index]) and gives every finished row to the image writer. In the
// multithreaded program each is the body of one render thread. A row comes out the same
// whichever thread renders it and whatever rows that thread rendered before.
void scanNone(int index, RowScheduler& rows, TraceContext& context);
void scanCorners(int index, RowScheduler& rows, TraceContext& context);
void scanAdaptive(int index, RowScheduler& rows, TraceContext& context);

void showProgressInit();
void showProgress(int row);

// Ends the run when a scan buffer cannot be had. Only an absurd image width can exhaust memory:
// the run then ends with status 1, as it does when the traversal runs out, and the driver drops
// the unfinished picture instead of writing one with a missing band.
[[noreturn]] void scanOutOfMemory();

// Sizes a scan buffer to `size` cleared elements.
template <typename T>
void allocateScanBuffer(std::vector<T>& buffer, std::size_t size) {
    try {
        buffer.assign(size, T{});
    } catch (const std::bad_alloc&) {
        scanOutOfMemory();
    }
}

// The output byte of a value already in byte units: truncated toward zero to a 16-bit
// integer, of which the low 8 bits are kept.
unsigned char truncateToByte(double value);

// The output byte of a colour component: for a component in [0, 1] that is floor(255 v).
inline unsigned char colorByte(double component) {
    return truncateToByte(component * 255);
}

// Adaptive anti-aliasing works on a lattice of quarter-pixel points. A cell holds one traced
// lattice point; its bytes mean something only while `valid` is set.
struct SampleCell {
    unsigned char rgb[3];
    bool valid;
};

// The 5 x 5 lattice points of the pixel being rendered: cell[i][j] is the point
// (x + i/4, y + j/4) from the pixel's top-left corner (x, y).
constexpr int kGridSize = 5;
struct PixelGrid {
    SampleCell cell[kGridSize][kGridSize];
};

// The colour, in byte units 0 to 255, of the square of side s quarter pixels whose top-left
// cell is (a, b) in the grid of pixel (x, y). Traces the corners the grid lacks and splits the
// square where they differ by adapt_dist or more.
void adapt(int a, int b, double x, double y, Color& result, int s, Ray& ray,
           TraceContext& context, PixelGrid& grid);
