#include "render/trace.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <mutex>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

#include "accel/bound.h"
#include "image/image.h"
#include "model/data.h"
#include "model/fatal.h"
#include "model/globals.h"
#include "render/camera.h"
#include "render/rows.h"
#include "render/scan.h"

namespace {

using ScanRoutine = void (*)(int index, RowScheduler& rows, TraceContext& context);

ScanRoutine chosenScan() {
    switch (iAntialias) {
        case ANTIALIAS_QUICK:
            return scanCorners;
        case ANTIALIAS_ADAPTIVE:
            return scanAdaptive;
        default:
            return scanNone;
    }
}

// The first exception that ended a render thread. A thread must not let one escape (that
// would terminate the process before the image is dropped), so each hands it over here and
// the main thread raises it again once every thread has been joined.
class FirstFailure {
  public:
    void record(std::exception_ptr failure) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!first_) first_ = failure;
    }
    void rethrowIfAny() const {
        if (first_) std::rethrow_exception(first_);
    }

  private:
    std::mutex mutex_;
    std::exception_ptr first_;
};

void joinAll(std::vector<std::thread>& threads) {
    for (std::thread& thread : threads) thread.join();
}

// One thread per band, joined in band order. Ends the run with status 255 when a thread cannot
// be started, after the threads already running have finished their rows.
void scanBands(ScanRoutine scan, RowScheduler& rows, std::vector<TraceContext>& contexts) {
    FirstFailure failure;
    std::vector<std::thread> threads;
    const int bands = static_cast<int>(contexts.size());
    threads.reserve(bands);
    for (int band = 0; band < bands; ++band) {
        try {
            threads.emplace_back([scan, band, &rows, &contexts, &failure] {
                try {
                    scan(band, rows, contexts[band]);
                } catch (...) {
                    failure.record(std::current_exception());
                }
            });
        } catch (const std::system_error&) {
            std::puts(" Thread creation failed!!\n");
            joinAll(threads);
            endProgram(kErrorStatus);
        }
    }
    joinAll(threads);
    failure.rethrowIfAny();
}

// Renders the rows of `bands`, one band per context (each thread keeping its own), and
// returns what they counted.
RayCounts render(ScanRoutine scan, std::span<const RowBand> bands,
                 std::vector<TraceContext>& contexts) {
    RowScheduler rows(bands);
    if (contexts.size() > 1) {
        scanBands(scan, rows, contexts);
    } else {
        scan(0, rows, contexts[0]);
    }
    RayCounts rays;
    for (const TraceContext& context : contexts) {
        rays += context.rays;
        maxQueueSize = std::max(maxQueueSize, context.traversal.queue.highWaterMark);
    }
    return rays;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

void openRender() {
    if (multiThreaded) {
        std::puts(" Multi-threaded version of LUMORA running.\n");
        initMTBounds(numThreads);  // may fall back to 2 bands
    } else {
        iBounds[0] = {0, myDisplay.height};
    }
    // The frame is shared by every band: it is written here, before any thread reads it, and
    // a camera that cannot have one is refused before the output file is created.
    computeCameraFrame();

    openImage(myDisplay.outputName, myDisplay.width, myDisplay.height);
    showProgressInit();
}

void closeRender(RenderReport& report) {
    std::printf("\n\n Rendering time: %4.2f second(s)\n", report.renderSeconds);
    const auto writing = std::chrono::steady_clock::now();
    closeImage();
    report.writeSeconds = secondsSince(writing);
    releaseScene();
}

void releaseScene() {
    freeHierarchy(&myObjectList);
    freeList(&myLightList);
    myRecords.release();
}

RenderReport doTrace() {
    openRender();
    RenderReport report;
    const auto start = std::chrono::steady_clock::now();
    try {
        const int bands = multiThreaded ? numThreads : 1;
        std::vector<TraceContext> contexts(bands);
        report.rays = render(chosenScan(), std::span<const RowBand>(iBounds, bands), contexts);
    } catch (...) {
        // A render that ends with an error leaves no half-drawn picture behind.
        abandonImage();
        throw;
    }
    report.renderSeconds = secondsSince(start);
    closeRender(report);
    return report;
}

RayCounts renderRows(int first, int count, std::vector<TraceContext>& contexts) {
    const int threads = static_cast<int>(contexts.size());
    std::vector<RowBand> bands(static_cast<std::size_t>(threads));
    for (int k = 0; k < threads; ++k) {
        bands[k] = {first + static_cast<int>(static_cast<long long>(k) * count / threads),
                    first + static_cast<int>(static_cast<long long>(k + 1) * count / threads)};
    }
    // Each block counts afresh: the contexts keep their queues, not their counts.
    for (TraceContext& context : contexts) context.rays = {};
    return render(chosenScan(), bands, contexts);
}

void initMTBounds(int n) {
    const int height = myDisplay.height;
    if (n != 0 && height % n != 0) {
        std::puts(
            " Warning the height and the number of threads are incompatible.\n"
            " The number of threads must be a multiplier of the height.");
    }
    if (n == 2 || n == 4 || n == 8) {
        std::printf(" Running %d threads\n", n);
    } else {
        std::puts(" Invalid number of threads: defaulting to 2 threads");
        numThreads = n = 2;
    }
    // Consecutive, disjoint bands that cover every row even when n does not divide the height.
    for (int k = 0; k < n; ++k) {
        iBounds[k].start = static_cast<int>(static_cast<long long>(k) * height / n);
        iBounds[k].end = static_cast<int>(static_cast<long long>(k + 1) * height / n);
    }
}
