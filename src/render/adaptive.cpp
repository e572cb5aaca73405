// Adaptive anti-aliasing: a pixel is judged from its four corners and split into quarters,
// down to quarter-pixel squares, where the corners disagree. Samples lie on a lattice of
// quarter-pixel points and each is traced once per run of rows: the pixel grid hands a
// pixel's right edge to the next pixel, and the edge cache hands a row's bottom edge to the
// next row. Each lattice point draws its random numbers from a stream keyed by the point, so
// a point traced twice (at the start of a row, or of a run of rows) comes out the same.

#include <cstdio>
#include <vector>

#include "image/image.h"
#include "model/fatal.h"
#include "model/globals.h"
#include "render/camera.h"
#include "render/scan.h"

namespace {

constexpr int kPixelSide = kGridSize - 1;  // a pixel's side in quarter pixels

// Traces lattice point (i, j) of pixel (x, y) into its cell.
void traceCell(int i, int j, double x, double y, Ray& ray, TraceContext& context,
               SampleCell& cell) {
    context.random.start(static_cast<int>(x) * kPixelSide + i,
                         static_cast<int>(y) * kPixelSide + j);
    double px = x + i * 0.25;
    double py = y + j * 0.25;
    if (jitter) {
        // Up to an eighth of a pixel either way; the cell keeps the displaced value for every
        // square, pixel and row that shares the point.
        py += context.random.unit() * 0.25 - 0.125;
        px += context.random.unit() * 0.25 - 0.125;
    }
    initRay(px, py, ray);
    Color color;
    shoot(ray, color, context);
    cell.rgb[0] = colorByte(color.r);
    cell.rgb[1] = colorByte(color.g);
    cell.rgb[2] = colorByte(color.b);
    cell.valid = true;
}

}  // namespace

void adapt(int a, int b, double x, double y, Color& result, int s, Ray& ray,
           TraceContext& context, PixelGrid& grid) {
    const int corners[4][2] = {{a, b}, {a + s, b}, {a, b + s}, {a + s, b + s}};
    int sum[3] = {0, 0, 0};
    for (const auto& [i, j] : corners) {
        SampleCell& cell = grid.cell[i][j];
        if (!cell.valid) traceCell(i, j, x, y, ray, context, cell);
        for (int k = 0; k < 3; ++k) sum[k] += cell.rgb[k];
    }
    const int average[3] = {sum[0] / 4, sum[1] / 4, sum[2] / 4};

    bool even = true;
    for (const auto& [i, j] : corners) {
        for (int k = 0; k < 3; ++k) {
            // A corner exactly adapt_dist away splits the square, and an adapt_dist of 0 or
            // below splits every square down to quarter pixels.
            if (std::abs(grid.cell[i][j].rgb[k] - average[k]) >= adapt_dist) even = false;
        }
    }
    if (s == 1 || even) {
        result = {static_cast<double>(average[0]), static_cast<double>(average[1]),
                  static_cast<double>(average[2])};
        return;
    }

    const int half = s / 2;
    const int squares[4][2] = {{a, b}, {a + half, b}, {a, b + half}, {a + half, b + half}};
    int subSum[3] = {0, 0, 0};
    for (const auto& [i, j] : squares) {
        Color part;
        adapt(i, j, x, y, part, half, ray, context, grid);
        subSum[0] += truncateToByte(part.r);
        subSum[1] += truncateToByte(part.g);
        subSum[2] += truncateToByte(part.b);
    }
    result = {static_cast<double>(subSum[0] / 4), static_cast<double>(subSum[1] / 4),
              static_cast<double>(subSum[2] / 4)};
}

void scanAdaptive(int index, RowScheduler& rows, TraceContext& context) {
    const int width = myDisplay.width;
    Ray ray;
    screenInit(ray);

    // Entry 4c + i of the edge cache is lattice point i of the top edge of pixel c in the
    // current row; the last entry is the right end of the row's last pixel.
    std::vector<unsigned char> line;
    std::vector<SampleCell> edge;
    allocateScanBuffer(line, static_cast<std::size_t>(width) * 3);
    allocateScanBuffer(edge, static_cast<std::size_t>(width) * kPixelSide + 1);
    PixelGrid grid{};

    int r = 0;
    bool continues = false;
    while (rows.next(index, r, continues)) {
        // A run of rows starts with an empty cache: its first row traces its top edge.
        if (!continues) {
            for (SampleCell& cell : edge) cell.valid = false;
        }
        // The first pixel of a row has no left neighbour, so it traces its top-left corner
        // again: the cache entry above it is never read.
        for (int j = 0; j < kGridSize; ++j) grid.cell[0][j].valid = false;

        for (int c = 0; c < width; ++c) {
            SampleCell* top = &edge[static_cast<std::size_t>(c) * kPixelSide];
            for (int i = 1; i < kGridSize; ++i) grid.cell[i][0] = top[i];
            for (int i = 1; i < kGridSize; ++i)
                for (int j = 1; j < kGridSize; ++j) grid.cell[i][j].valid = false;

            Color color;
            adapt(0, 0, c, r, color, kPixelSide, ray, context, grid);
            line[3 * c] = truncateToByte(color.r);
            line[3 * c + 1] = truncateToByte(color.g);
            line[3 * c + 2] = truncateToByte(color.b);

            for (int i = 0; i < kGridSize; ++i) top[i] = grid.cell[i][kPixelSide];
            for (int j = 0; j < kGridSize; ++j) grid.cell[0][j] = grid.cell[kPixelSide][j];
        }
        writeImageLine(line.data(), r);
        showProgress(r);
    }
}
