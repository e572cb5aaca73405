#include "accel/intersec.h"

#include <cstring>
#include <limits>

#include "accel/hierarchy.h"
#include "model/globals.h"
#include "primitives/primitive.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Two lanes: the widest vector every x86-64 processor has, so the four boxes of a node are
// tested as two pairs. Each lane runs exactly the scalar operations of one box test, so the
// results do not depend on how many lanes the processor works on at once.
using Pair = double __attribute__((vector_size(2 * sizeof(double))));
using PairMask = std::int64_t __attribute__((vector_size(2 * sizeof(std::int64_t))));

// a < b ? a : b and a > b ? a : b, lane by lane: when the comparison fails (equal values, or
// NaN) the second operand is the result, which is what the processor's own min and max do.
inline Pair lesser(Pair a, Pair b) {
#if defined(__SSE2__)
    return _mm_min_pd(a, b);
#else
    return a < b ? a : b;
#endif
}

inline Pair greater(Pair a, Pair b) {
#if defined(__SSE2__)
    return _mm_max_pd(a, b);
#else
    return a > b ? a : b;
#endif
}

// The slab test of the boxes of children `first` and `first` + 1: per axis, the distances to
// the two planes, the nearer raising the entry distance and the farther lowering the exit
// distance. Sets bit k of `entered` for a box the ray enters before maxDistance, with its
// entry distance in near[k]. A box is missed when the entry lies beyond the exit, and passed
// when the exit lies within 0.001 of the origin: no bounded primitive accepts a hit that
// near. A ray with no direction at all is bounded by nothing and enters every box.
inline void testPair(const BoundNode& node, int first, const SlabRay& ray, double maxDistance,
                     double* near, unsigned& entered) {
    Pair entry = {-kUnbounded, -kUnbounded};
    Pair exit = {maxDistance, maxDistance};
    for (int i = 0; i < 3; ++i) {
        if (!ray.bounded[i]) continue;
        Pair lo, hi;
        std::memcpy(&lo, &node.lo[i][first], sizeof lo);
        std::memcpy(&hi, &node.hi[i][first], sizeof hi);
        const Pair origin = {ray.origin[i], ray.origin[i]};
        const Pair inverse = {ray.inverse[i], ray.inverse[i]};
        const Pair t1 = (lo - origin) * inverse;
        const Pair t2 = (hi - origin) * inverse;
        // When t2 > t1 fails (equal, or NaN), t2 counts as the entry and t1 as the exit.
        exit = lesser(greater(t2, t1), exit);
        entry = greater(lesser(t1, t2), entry);
    }
    const Pair tolerance = {kEpsilon, kEpsilon};
    const PairMask inside = (entry <= exit) & (exit >= tolerance);
    near[first] = entry[0];
    near[first + 1] = entry[1];
    if (inside[0] != 0 || !ray.anyBounded) entered |= 1u << first;
    if (inside[1] != 0 || !ray.anyBounded) entered |= 2u << first;
}

// Bit k of the result is set when the ray enters child k's box before maxDistance; its entry
// distance is then near[k].
inline unsigned enteredChildren(const BoundNode& node, const SlabRay& ray, double maxDistance,
                                double near[kNodeWidth]) {
    unsigned entered = 0;
    testPair(node, 0, ray, maxDistance, near, entered);
    if (node.count > 2) testPair(node, 2, ray, maxDistance, near, entered);
    return entered & ((1u << node.count) - 1);
}

}  // namespace

SlabRay::SlabRay(const Ray& ray) : anyBounded(false) {
    const double o[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
    const double d[3] = {ray.direction.x, ray.direction.y, ray.direction.z};
    for (int i = 0; i < 3; ++i) {
        bounded[i] = d[i] != 0;
        anyBounded = anyBounded || bounded[i];
        origin[i] = o[i];
        // A component so small that its reciprocal overflows stands for the largest finite
        // one, so that a box plane through the origin still gives 0 and not 0 times infinity.
        double reciprocal = bounded[i] ? 1 / d[i] : 0;
        if (reciprocal > std::numeric_limits<double>::max()) {
            reciprocal = std::numeric_limits<double>::max();
        } else if (reciprocal < -std::numeric_limits<double>::max()) {
            reciprocal = -std::numeric_limits<double>::max();
        }
        inverse[i] = reciprocal;
    }
}

QueueEntry checkAndEnqueue(const BoundNode& node, const SlabRay& ray, double maxDistance,
                           const ObjectRecord* excluded, TraversalQueue& queue) {
    double near[kNodeWidth];
    const unsigned entered = enteredChildren(node, ray, maxDistance, near);
    QueueEntry nearest{0, NodeRef()};
    for (int k = 0; k < node.count; ++k) {
        if ((entered & (1u << k)) == 0) continue;
        // A shadow ray leaves the surface being shaded; skipping it by identity keeps the
        // ray from finding that surface again at a rounding distance.
        const NodeRef child = node.child[k];
        if (!child.isNode() && child.primitive() == excluded) continue;
        QueueEntry candidate{near[k], child};
        if (nearest.ref.isNull()) {
            nearest = candidate;
            continue;
        }
        // Of equal keys the first child stays the nearest.
        if (candidate.key < nearest.key) std::swap(candidate, nearest);
        priorityQueueInsert(candidate.key, candidate.ref, queue);
    }
    return nearest;
}

int intersect(const Ray& ray, double maxDistance, HitRecord& hit, const ObjectRecord* excluded,
              Traversal& traversal) {
    const ObjectRecord* root = myObjectList;
    if (root == nullptr) return 0;  // a scene without primitives: nothing to hit

    // A one-primitive scene has no composite to bound it: the primitive's own test answers,
    // with neither the distance bound nor the exclusion applied.
    if (root->kind != KIND_COMPOSITE) return root->intersectFn(*root, ray, hit);

    const SlabRay slabs(ray);
    const BoundNode* const nodes = myHierarchy.nodes.data();
    TraversalQueue& queue = traversal.queue;
    queue.count = 0;
    double best = maxDistance;
    const ObjectRecord* found = nullptr;
    HitRecord candidate{};

    QueueEntry next = checkAndEnqueue(nodes[myHierarchy.top], slabs, maxDistance, excluded, queue);
    while (true) {
        // Open the held-back child when nothing queued is nearer, else the nearest queued.
        if (next.ref.isNull() || (queue.count > 0 && queue.slots[1].key < next.key)) {
            if (!next.ref.isNull()) priorityQueueInsert(next.key, next.ref, queue);
            if (queue.count == 0) break;
            next = priorityQueueDelete(queue);
        }
        // Keys leave in increasing order: nothing left can hold a nearer hit. A box entered
        // exactly at the best distance may still hold a hit there, but it cannot replace it.
        if (next.key > best) break;

        if (next.ref.isNode()) {
            next = checkAndEnqueue(nodes[next.ref.index()], slabs, maxDistance, excluded, queue);
            continue;
        }
        const ObjectRecord& primitive = *next.ref.primitive();
        next.ref = NodeRef();
        // Strictly nearer only: of two hits at one distance the first tested stays.
        if (primitive.intersectFn(primitive, ray, candidate) != 0 && candidate.distance < best) {
            hit = candidate;
            found = &primitive;
            best = candidate.distance;
        }
    }
    return found != nullptr ? 1 : 0;
}

bool occluded(const Ray& ray, double maxDistance, const ObjectRecord* excluded,
              Traversal& traversal) {
    const ObjectRecord* root = myObjectList;
    if (root == nullptr) return false;
    HitRecord hit{};
    if (root->kind != KIND_COMPOSITE) return root->intersectFn(*root, ray, hit) != 0;

    const SlabRay slabs(ray);
    const BoundNode* const nodes = myHierarchy.nodes.data();
    std::vector<std::uint32_t>& pending = traversal.pending;
    pending.clear();
    pending.push_back(myHierarchy.top);
    while (!pending.empty()) {
        const BoundNode& node = nodes[pending.back()];
        pending.pop_back();
        double near[kNodeWidth];
        const unsigned entered = enteredChildren(node, slabs, maxDistance, near);
        for (int k = 0; k < node.count; ++k) {
            if ((entered & (1u << k)) == 0) continue;
            const NodeRef child = node.child[k];
            if (child.isNode()) {
                pending.push_back(child.index());
                continue;
            }
            const ObjectRecord& primitive = *child.primitive();
            if (&primitive == excluded) continue;
            if (primitive.intersectFn(primitive, ray, hit) != 0 && hit.distance < maxDistance)
                return true;
        }
    }
    return false;
}
