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

// The box test runs one lane per box: each lane does exactly the scalar operations of the slab
// test of one box, so the result does not depend on how many lanes the processor works on at
// once. Every x86-64 processor has two-lane vectors; where AVX2 is there too, the four boxes
// of a node are tested at once.
using Pair = double __attribute__((vector_size(2 * sizeof(double))));
using PairMask = std::int64_t __attribute__((vector_size(2 * sizeof(std::int64_t))));
using PairBox = float __attribute__((vector_size(2 * sizeof(float)), may_alias, aligned(8)));
using Quad = double __attribute__((vector_size(4 * sizeof(double))));
using QuadMask = std::int64_t __attribute__((vector_size(4 * sizeof(std::int64_t))));
using QuadBox = float __attribute__((vector_size(4 * sizeof(float)), may_alias));

// a < b ? a : b and a > b ? a : b, lane by lane: when the comparison fails (equal values, or
// NaN) the second operand is the result, which is what the processor's own min and max do.
[[gnu::always_inline]] inline Pair lesser(Pair a, Pair b) {
#if defined(__SSE2__)
    return _mm_min_pd(a, b);
#else
    return a < b ? a : b;
#endif
}

[[gnu::always_inline]] inline Pair greater(Pair a, Pair b) {
#if defined(__SSE2__)
    return _mm_max_pd(a, b);
#else
    return a > b ? a : b;
#endif
}

// The slab test of `Lanes` boxes of the node, from child `first` on: per axis, the distances
// to the two planes, the nearer raising the entry distance and the farther lowering the exit
// distance. When t2 > t1 fails (equal, or NaN), t2 counts as the entry and t1 as the exit.
// Sets bit k of `entered` for a box the ray enters before maxDistance, with its entry
// distance in near[k]. A box is missed when the entry lies beyond the exit, and passed when
// the exit lies within 0.001 of the origin: no bounded primitive accepts a hit that near. A
// ray with no direction at all is bounded by nothing and enters every box.
template <typename Lanes, typename Mask, typename BoxLanes>
[[gnu::always_inline]] inline void testLanes(const BoundNode& node, int first, const SlabRay& ray,
                                             double maxDistance, double* near, unsigned& entered) {
    constexpr int kLanes = sizeof(Lanes) / sizeof(double);
    Lanes entry, exit, tolerance;
    for (int k = 0; k < kLanes; ++k) {
        entry[k] = -kUnbounded;
        exit[k] = maxDistance;
        tolerance[k] = kEpsilon;
    }
    for (int i = 0; i < 3; ++i) {
        if (!ray.bounded[i]) continue;
        // The boxes are stored in single precision; widening them is exact.
        const Lanes lo =
            __builtin_convertvector(*reinterpret_cast<const BoxLanes*>(&node.lo[i][first]), Lanes);
        const Lanes hi =
            __builtin_convertvector(*reinterpret_cast<const BoxLanes*>(&node.hi[i][first]), Lanes);
        Lanes origin, inverse;
        for (int k = 0; k < kLanes; ++k) {
            origin[k] = ray.origin[i];
            inverse[k] = ray.inverse[i];
        }
        const Lanes t1 = (lo - origin) * inverse;
        const Lanes t2 = (hi - origin) * inverse;
        if constexpr (kLanes == 2) {
            exit = lesser(greater(t2, t1), exit);
            entry = greater(lesser(t1, t2), entry);
        } else {
            const Lanes planeExit = t2 > t1 ? t2 : t1;
            const Lanes planeEntry = t1 < t2 ? t1 : t2;
            exit = planeExit < exit ? planeExit : exit;
            entry = planeEntry > entry ? planeEntry : entry;
        }
    }
    const Mask inside = (entry <= exit) & (exit >= tolerance);
    for (int k = 0; k < kLanes; ++k) {
        near[first + k] = entry[k];
        if (inside[k] != 0 || !ray.anyBounded) entered |= 1u << (first + k);
    }
}

// Bit k of the result is set when the ray enters child k's box before maxDistance; its entry
// distance is then near[k].
struct TwoLanes {
    [[gnu::always_inline]] static unsigned entered(const BoundNode& node, const SlabRay& ray,
                                                   double maxDistance, double* near) {
        unsigned entered = 0;
        testLanes<Pair, PairMask, PairBox>(node, 0, ray, maxDistance, near, entered);
        if (node.count > 2)
            testLanes<Pair, PairMask, PairBox>(node, 2, ray, maxDistance, near, entered);
        return entered & ((1u << node.count) - 1);
    }
};

// Only ever inlined into functions compiled for AVX2.
struct FourLanes {
    [[gnu::always_inline]] static unsigned entered(const BoundNode& node, const SlabRay& ray,
                                                   double maxDistance, double* near) {
        unsigned entered = 0;
        testLanes<Quad, QuadMask, QuadBox>(node, 0, ray, maxDistance, near, entered);
        return entered & ((1u << node.count) - 1);
    }
};

}  // namespace

namespace {

template <class BoxTest>
[[gnu::always_inline]] inline QueueEntry enqueueChildren(const BoundNode& node, const SlabRay& ray,
                                                         double maxDistance,
                                                         const ObjectRecord* excluded,
                                                         TraversalQueue& queue) {
    double near[kNodeWidth];
    const unsigned entered = BoxTest::entered(node, ray, maxDistance, near);
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

template <class BoxTest>
[[gnu::always_inline]] inline int nearestHit(const Ray& ray, double maxDistance, HitRecord& hit,
                                             const ObjectRecord* excluded, Traversal& traversal) {
    const SlabRay slabs(ray);
    const BoundNode* const nodes = myHierarchy.nodes.data();
    TraversalQueue& queue = traversal.queue;
    queue.count = 0;
    double best = maxDistance;
    const ObjectRecord* found = nullptr;
    HitRecord candidate{};

    QueueEntry next =
        enqueueChildren<BoxTest>(nodes[myHierarchy.top], slabs, maxDistance, excluded, queue);
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
            next = enqueueChildren<BoxTest>(nodes[next.ref.index()], slabs, maxDistance, excluded,
                                            queue);
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

template <class BoxTest>
[[gnu::always_inline]] inline bool anyHit(const Ray& ray, double maxDistance,
                                          const ObjectRecord* excluded, Traversal& traversal) {
    const SlabRay slabs(ray);
    const BoundNode* const nodes = myHierarchy.nodes.data();
    if (traversal.pending.size() < myHierarchy.maxPending)
        traversal.pending.resize(myHierarchy.maxPending);
    std::uint32_t* const pending = traversal.pending.data();
    std::size_t waiting = 0;
    pending[waiting++] = myHierarchy.top;
    HitRecord hit{};
    while (waiting > 0) {
        const BoundNode& node = nodes[pending[--waiting]];
        double near[kNodeWidth];
        const unsigned entered = BoxTest::entered(node, slabs, maxDistance, near);
        for (int k = 0; k < node.count; ++k) {
            if ((entered & (1u << k)) == 0) continue;
            const NodeRef child = node.child[k];
            if (child.isNode()) {
                pending[waiting++] = child.index();
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

// The traversals for each width; the four-lane ones are compiled for AVX2 and run only where
// the processor has it.
struct Kernels {
    int lanes;
    QueueEntry (*enqueue)(const BoundNode&, const SlabRay&, double, const ObjectRecord*,
                          TraversalQueue&);
    int (*nearest)(const Ray&, double, HitRecord&, const ObjectRecord*, Traversal&);
    bool (*any)(const Ray&, double, const ObjectRecord*, Traversal&);
};

constexpr Kernels kTwoLanes{
    2,
    [](const BoundNode& node, const SlabRay& ray, double maxDistance, const ObjectRecord* excluded,
       TraversalQueue& queue) {
        return enqueueChildren<TwoLanes>(node, ray, maxDistance, excluded, queue);
    },
    [](const Ray& ray, double maxDistance, HitRecord& hit, const ObjectRecord* excluded,
       Traversal& traversal) {
        return nearestHit<TwoLanes>(ray, maxDistance, hit, excluded, traversal);
    },
    [](const Ray& ray, double maxDistance, const ObjectRecord* excluded, Traversal& traversal) {
        return anyHit<TwoLanes>(ray, maxDistance, excluded, traversal);
    }};

#if defined(__x86_64__)
[[gnu::target("avx2")]] QueueEntry enqueueFour(const BoundNode& node, const SlabRay& ray,
                                               double maxDistance, const ObjectRecord* excluded,
                                               TraversalQueue& queue) {
    return enqueueChildren<FourLanes>(node, ray, maxDistance, excluded, queue);
}

[[gnu::target("avx2")]] int nearestFour(const Ray& ray, double maxDistance, HitRecord& hit,
                                        const ObjectRecord* excluded, Traversal& traversal) {
    return nearestHit<FourLanes>(ray, maxDistance, hit, excluded, traversal);
}

[[gnu::target("avx2")]] bool anyFour(const Ray& ray, double maxDistance,
                                     const ObjectRecord* excluded, Traversal& traversal) {
    return anyHit<FourLanes>(ray, maxDistance, excluded, traversal);
}

constexpr Kernels kFourLanes{4, enqueueFour, nearestFour, anyFour};

bool hasFourLanes() {
    return __builtin_cpu_supports("avx2");
}
#else
constexpr Kernels kFourLanes = kTwoLanes;

bool hasFourLanes() {
    return false;
}
#endif

Kernels kernels = hasFourLanes() ? kFourLanes : kTwoLanes;

}  // namespace

int boxTestLanes() {
    return kernels.lanes;
}

int setBoxTestLanes(int lanes) {
    kernels = lanes == 4 && hasFourLanes() ? kFourLanes : kTwoLanes;
    return kernels.lanes;
}

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
    return kernels.enqueue(node, ray, maxDistance, excluded, queue);
}

int intersect(const Ray& ray, double maxDistance, HitRecord& hit, const ObjectRecord* excluded,
              Traversal& traversal) {
    const ObjectRecord* root = myObjectList;
    if (root == nullptr) return 0;  // a scene without primitives: nothing to hit

    // A one-primitive scene has no composite to bound it: the primitive's own test answers,
    // with neither the distance bound nor the exclusion applied.
    if (root->kind != KIND_COMPOSITE) return root->intersectFn(*root, ray, hit);
    return kernels.nearest(ray, maxDistance, hit, excluded, traversal);
}

bool occluded(const Ray& ray, double maxDistance, const ObjectRecord* excluded,
              Traversal& traversal) {
    const ObjectRecord* root = myObjectList;
    if (root == nullptr) return false;
    if (root->kind != KIND_COMPOSITE) {
        HitRecord hit{};
        return root->intersectFn(*root, ray, hit) != 0;
    }
    return kernels.any(ray, maxDistance, excluded, traversal);
}
