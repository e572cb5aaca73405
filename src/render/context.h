#pragma once

#include <utility>
#include <vector>

#include "accel/intersec.h"
#include "render/random.h"

// Rays traced, by what they were traced for.
struct RayCounts {
    long long primary = 0;    // from the camera, one per aperture sample with depth of field
    long long shadow = 0;     // towards a light, one per soft-shadow sample
    long long reflected = 0;  // mirror and fuzzy reflections
    long long refracted = 0;

    long long total() const { return primary + shadow + reflected + refracted; }
    RayCounts& operator+=(const RayCounts& other) {
        primary += other.primary;
        shadow += other.shadow;
        reflected += other.reflected;
        refracted += other.refracted;
        return *this;
    }
};

// What one render thread owns while it traces, handed down from its scan routine through
// every call that traces: the recursion depth of the ray at hand (0 for a primary ray), the
// random stream of the sample being rendered, the traversal's working storage and the rays
// counted so far. Nothing in it is shared, so threads never wait for each other. The threads'
// contexts lie side by side; each starts on its own pair of cache lines, which the processor
// fetches together, so that one thread's writes never evict what another is using.
struct alignas(128) TraceContext {
    int depth = 0;
    SampleRandom random;
    Traversal traversal;
    RayCounts rays;
    // Each light's hint of what last stopped a shadow ray towards it.
    std::vector<std::pair<const ObjectRecord*, BlockerHint>> blockers;

    BlockerHint& blockerHintOf(const ObjectRecord& light) {
        for (auto& [known, hint] : blockers) {
            if (known == &light) return hint;
        }
        return blockers.emplace_back(&light, BlockerHint{}).second;
    }
};
