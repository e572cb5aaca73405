#include "app/statistics.h"

#include <sys/resource.h>

#include <cstdio>

#include "model/globals.h"

long long peakMemoryBytes() {
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
    return static_cast<long long>(usage.ru_maxrss) * 1024;  // Linux counts kilobytes
}

void printStatistics(const LoadTimes& load, const RenderReport& render, int composites,
                     int primitives, int depth) {
    std::printf("\n Statistics\n");
    std::printf("  primary rays:           %lld\n", render.rays.primary);
    std::printf("  shadow rays:            %lld\n", render.rays.shadow);
    std::printf("  reflected rays:         %lld\n", render.rays.reflected);
    std::printf("  refracted rays:         %lld\n", render.rays.refracted);
    std::printf("  hierarchy nodes:        %d composites, %d primitives, depth %d\n", composites,
                primitives, depth);
    std::printf("  queue high-water mark:  %d\n", maxQueueSize);
    std::printf("  parse time:             %.3f s\n", load.parse);
    std::printf("  hierarchy time:         %.3f s\n", load.hierarchy);
    std::printf("  render time:            %.3f s\n", render.renderSeconds);
    std::printf("  write time:             %.3f s\n", render.writeSeconds);
    std::printf("  peak memory:            %.1f MB\n", peakMemoryBytes() / 1e6);
}
