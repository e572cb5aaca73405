// The two simple scan routines: one sample per pixel, and quick anti-aliasing, where each
// pixel averages the four samples it shares with its neighbours.

#include "render/scan.h"

#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "image/image.h"
#include "model/fatal.h"
#include "model/globals.h"
#include "render/camera.h"

namespace {

// Beyond this magnitude (and for NaN) converting a double to an integer is undefined.
constexpr double kIntegerLimit = 9.2e18;

// Traces the sample of pixel (c, r) into three bytes: at the pixel's centre, or with jitter at
// a random point of the pixel's square (y is drawn before x). The sample's random numbers are
// keyed by the pixel.
void samplePixel(int c, int r, Ray& ray, TraceContext& context, unsigned char* bytes) {
    context.random.start(c, r);
    double x = c + 0.5;
    double y = r + 0.5;
    if (jitter) {
        y = r + context.random.unit();
        x = c + context.random.unit();
    }
    initRay(x, y, ray);
    Color color;
    shoot(ray, color, context);
    bytes[0] = colorByte(color.r);
    bytes[1] = colorByte(color.g);
    bytes[2] = colorByte(color.b);
}

}  // namespace

void scanOutOfMemory() {
    std::puts("Memory alloction failed.");
    endProgram(1);
}

unsigned char truncateToByte(double value) {
    if (!(std::fabs(value) < kIntegerLimit)) return 0;
    // Only the low 8 bits survive, so a value below 0 wraps around instead of clamping to 0
    // (-1 gives 255). Within [0, 255] this is plain truncation.
    return static_cast<unsigned char>(static_cast<long long>(value));
}

void scanNone(int index, RowScheduler& rows, TraceContext& context) {
    const int width = myDisplay.width;
    Ray ray;
    screenInit(ray);

    std::vector<unsigned char> line;
    allocateScanBuffer(line, static_cast<std::size_t>(width) * 3);

    int r = 0;
    bool continues = false;
    while (rows.next(index, r, continues)) {
        for (int c = 0; c < width; ++c) samplePixel(c, r, ray, context, &line[3 * c]);
        writeImageLine(line.data(), r);
        showProgress(r);
    }
}

void scanCorners(int index, RowScheduler& rows, TraceContext& context) {
    const int width = myDisplay.width;
    Ray ray;
    screenInit(ray);

    // Sample rows hold width + 1 samples: the last lies half a pixel beyond the right edge.
    const std::size_t rowBytes = (static_cast<std::size_t>(width) + 1) * 3;
    std::vector<unsigned char> previous, current, line;
    allocateScanBuffer(previous, rowBytes);
    allocateScanBuffer(current, rowBytes);
    allocateScanBuffer(line, static_cast<std::size_t>(width) * 3);

    auto sampleRow = [&](int r, std::vector<unsigned char>& row) {
        for (int c = 0; c <= width; ++c) samplePixel(c, r, ray, context, &row[3 * c]);
    };

    int r = 0;
    bool continues = false;
    while (rows.next(index, r, continues)) {
        // Row r averages the sample rows r - 1 and r, so a run of rows first samples the row
        // above it: its first row then comes out exactly as it would in a run that started
        // higher up. Above row 0 that is a row half a pixel beyond the top edge, just as the
        // last sample column lies beyond the right edge.
        if (!continues) sampleRow(r - 1, previous);
        sampleRow(r, current);
        for (int c = 0; c < width; ++c) {
            for (int k = 0; k < 3; ++k) {
                const int left = 3 * c + k;
                const int right = left + 3;
                line[left] = static_cast<unsigned char>(
                    (previous[left] + previous[right] + current[left] + current[right]) >> 2);
            }
        }
        writeImageLine(line.data(), r);
        showProgress(r);
        std::swap(previous, current);
    }
}
