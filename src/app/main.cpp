// One run of the ray tracer: defaults, banner, command line, scene, command line again (so
// that it overrides the scene's settings), the scene's summary, the bounding hierarchy, and
// the render into the output image.

#include <cstdio>

#include "accel/bound.h"
#include "app/driver.h"
#include "model/fatal.h"
#include "model/globals.h"
#include "render/trace.h"

namespace {

int run(int argc, char* argv[]) {
    initDefaults();
    showCredits();
    if (argc < 2) {
        showUsage();
        return kErrorStatus;
    }
    parseArgs(argc, argv);
    if (loadScene() != 0) return kErrorStatus;
    parseArgs(argc, argv);
    checkImageSize();
    std::printf("\n Number of primitives:\t\t%ld\n\n", static_cast<long>(nPrims));
    buildBoundingSlabs();
    doTrace();
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
#ifdef LUMORA_MULTITHREADED
    multiThreaded = true;
#endif
    try {
        return run(argc, argv);
    } catch (const ProgramExit& exit) {
        return exit.status();
    }
}
