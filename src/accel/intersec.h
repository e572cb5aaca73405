#pragma once

#include <climits>
#include <cstdint>
#include <vector>

#include "accel/boxtest.h"
#include "accel/pqueue.h"
#include "model/records.h"

// The working storage of one thread's traversals, owned by the thread that traces: the
// nearest-first candidates of intersect and the nodes still to open of occluded. Every call
// starts them empty; keeping them saves an allocation per ray.
struct Traversal {
    TraversalQueue queue;
    std::vector<std::uint32_t> pending;
};

// Finds the nearest primitive the ray meets closer than maxDistance, skipping `excluded`
// (may be null). Returns 1 and fills `hit` on a hit, 0 otherwise. Candidates are opened in
// the order of the distance at which the ray enters their boxes, and the walk ends at the
// first one beyond the best hit; of two hits at one distance the first tested stays.
int intersect(const Ray& ray, double maxDistance, HitRecord& hit, const ObjectRecord* excluded,
              Traversal& traversal);

// Where the primitive that last stopped a shadow ray sits in the hierarchy: its node and its
// slot there. Shadow rays towards one light from nearby points are mostly stopped by the same
// primitive, so it is worth trying first. Any value is safe: a hint that no longer names a
// primitive is passed over.
struct BlockerHint {
    static constexpr std::uint32_t kNone = UINT32_MAX;
    std::uint32_t node = kNone;
    int slot = 0;
};

// Whether any primitive but `excluded` lies on the ray closer than maxDistance: the question
// of a shadow ray, answered at the first such primitive found, in any order. The primitive
// `hint` names is tried first; the hint is left naming the primitive that stopped the ray,
// or nothing.
bool occluded(const Ray& ray, double maxDistance, const ObjectRecord* excluded,
              Traversal& traversal, BlockerHint& hint);

// A traversal tests four boxes at once where the processor has AVX2, else two; every width
// gives the same bits, box for box. Sets the lanes to 1, 2 or 4, or to the widest the
// processor has when it lacks that width; returns what was set. For the tests that compare
// the widths.
int setBoxTestLanes(int lanes);

// Tests the ray against the boxes of the node's children and queues every child other than
// `excluded` whose box the ray enters before maxDistance, keyed by its entry distance, but
// the nearest, which it returns instead (a null ref when no child was entered): the
// traversal opens that one next unless the queue holds a nearer candidate, which spares most
// of the queue's work. A box that lies behind the origin, or ends within 0.001 of it, is not
// entered.
QueueEntry checkAndEnqueue(const BoundNode& node, const SlabRay& ray, double maxDistance,
                           const ObjectRecord* excluded, TraversalQueue& queue);
