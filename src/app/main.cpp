// One run of the ray tracer: defaults, banner, command line, scene, command line again (so
// that it overrides the scene's settings), the scene's summary and warnings, the bounding
// hierarchy, the render into the output image, and the statistics when asked for.

#include <chrono>
#include <cstdio>

#include "accel/bound.h"
#include "accel/hierarchy.h"
#include "app/driver.h"
#include "app/statistics.h"
#include "app/warnings.h"
#include "model/fatal.h"
#include "model/globals.h"
#include "render/trace.h"

#ifdef LUMORA_MPI
#include "app/ranks.h"
#endif

namespace {

// Runs `phase` and returns its wall time in seconds.
template <typename Phase>
double timed(Phase phase) {
    const auto start = std::chrono::steady_clock::now();
    phase();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int run(int argc, char* argv[]) {
    initDefaults();
    showCredits();
    if (argc < 2) {
        showUsage();
        return kErrorStatus;
    }
    parseArgs(argc, argv);
    LoadTimes load;
    int loaded = 0;
    load.parse = timed([&] { loaded = loadScene(); });
    if (loaded != 0) return kErrorStatus;
    parseArgs(argc, argv);
    checkImageSize();
    printSceneWarnings();
    const int primitives = nPrims;
    std::printf("\n Number of primitives:\t\t%ld\n\n", static_cast<long>(primitives));
    load.hierarchy = timed(buildBoundingSlabs);
    const int composites = static_cast<int>(myHierarchy.composites.size());
    const int depth = myHierarchy.depth;
#ifdef LUMORA_MPI
    const RenderReport report = renderOnRanks();
#else
    const RenderReport report = doTrace();
#endif
    if (iStatistics) printStatistics(load, report, composites, primitives, depth);
    return 0;
}

int runToStatus(int argc, char* argv[]) {
    try {
        return run(argc, argv);
    } catch (const ProgramExit& exit) {
        return exit.status();
    }
}

}  // namespace

int main(int argc, char* argv[]) {
#ifdef LUMORA_MULTITHREADED
    multiThreaded = true;
#endif
#ifdef LUMORA_MPI
    const RankSession ranks(&argc, &argv);
    multiThreaded = asksForThreads(argc, argv);
    const int status = runToStatus(argc, argv);
    ranks.endJobIfShared(status);
    return status;
#else
    return runToStatus(argc, argv);
#endif
}
