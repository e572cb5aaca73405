#include "accel/intersec.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "accel/hierarchy.h"
#include "model/globals.h"
#include "primitives/primitive.h"

namespace {

// The box test of the traversals: the widest the processor has, unless a test asks for
// another.
BoxTest boxTest = boxTestOfLanes(widestBoxTestLanes());

// The wider tests take only rays that every axis bounds; a ray parallel to an axis, which
// is rare, takes the one-lane test, which gives the same bits.
BoxTest boxTestFor(const SlabRay& ray) {
    return ray.allBounded ? boxTest : boxTestOneLane;
}

}  // namespace

namespace {

// Queues the children of the node that the box test found entered, except `excluded`, and
// returns the nearest instead of queuing it (a null ref when there is none): the traversal
// opens that one next unless the queue holds a nearer candidate, which spares most of the
// queue's work. Children are taken in their order, so of equal keys the first stays the
// nearest. A shadow ray leaves the surface being shaded; skipping it by identity keeps the
// ray from finding that surface again at a rounding distance.
[[gnu::always_inline]] inline QueueEntry enqueueEntered(const BoundNode& node, unsigned entered,
                                                        const double* near, NodeRef excluded,
                                                        TraversalQueue& queue) {
    QueueEntry nearest{0, NodeRef()};
    while (entered != 0) {
        const int k = std::countr_zero(entered);
        entered &= entered - 1;
        QueueEntry candidate{near[k], node.child[k]};
        if (candidate.ref == excluded) continue;
        if (nearest.ref.isNull()) {
            nearest = candidate;
            continue;
        }
        if (candidate.key < nearest.key) std::swap(candidate, nearest);
        priorityQueueInsert(candidate.key, candidate.ref, queue);
    }
    return nearest;
}

}  // namespace

QueueEntry checkAndEnqueue(const BoundNode& node, const SlabRay& ray, double maxDistance,
                           const ObjectRecord* excluded, TraversalQueue& queue) {
    double near[kNodeWidth];
    const unsigned entered = boxTestFor(ray)(node, ray, maxDistance, near);
    return enqueueEntered(node, entered, near, NodeRef::primitive(excluded), queue);
}

int setBoxTestLanes(int lanes) {
    const int supported = supportedBoxTestLanes(lanes);
    boxTest = boxTestOfLanes(supported);
    return supported;
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

    const BoxTest test = boxTestFor(slabs);
    const NodeRef skipped = NodeRef::primitive(excluded);
    double near[kNodeWidth];
    QueueEntry next{0, NodeRef::node(myHierarchy.top)};
    while (true) {
        if (next.ref.isNode()) {
            const BoundNode& node = nodes[next.ref.index()];
            const unsigned entered = test(node, slabs, maxDistance, near);
            next = enqueueEntered(node, entered, near, skipped, queue);
        } else if (!next.ref.isNull()) {
            const ObjectRecord& primitive = *next.ref.primitive();
            next.ref = NodeRef();
            // Strictly nearer only: of two hits at one distance the first tested stays.
            if (primitive.intersectFn(primitive, ray, candidate) != 0 &&
                candidate.distance < best) {
                hit = candidate;
                found = &primitive;
                best = candidate.distance;
            }
        }
        // Open the held-back child when nothing queued is nearer, else the nearest queued.
        if (next.ref.isNull() || (queue.count > 0 && queue.slots[1].key < next.key)) {
            if (!next.ref.isNull()) priorityQueueInsert(next.key, next.ref, queue);
            if (queue.count == 0) break;
            next = priorityQueueDelete(queue);
        }
        // Keys leave in increasing order: nothing left can hold a nearer hit. A box entered
        // exactly at the best distance may still hold a hit there, but it cannot replace it.
        if (next.key > best) break;
    }
    return found != nullptr ? 1 : 0;
}

namespace {

// Whether the primitive the hint names stops the ray. A hit counts only where the walk would
// find it: when the ray enters the primitive's box as the walk tests it. A box the ray enters
// lies within every box above it, which the ray then enters too, so the answer stays the
// walk's.
bool hintedBlockerStops(const Ray& ray, const SlabRay& slabs, BoxTest test, double maxDistance,
                        const ObjectRecord* excluded, const BlockerHint& hint) {
    if (hint.node >= myHierarchy.nodes.size() || hint.slot < 0 || hint.slot >= kNodeWidth)
        return false;
    const BoundNode& node = myHierarchy.nodes[hint.node];
    const NodeRef child = node.child[hint.slot];
    if (child.isNull() || child.isNode() || child.primitive() == excluded) return false;
    const ObjectRecord& primitive = *child.primitive();
    HitRecord hit{};
    if (primitive.intersectFn(primitive, ray, hit) == 0 || !(hit.distance < maxDistance))
        return false;
    double near[kNodeWidth];
    return (test(node, slabs, maxDistance, near) >> hint.slot & 1) != 0;
}

}  // namespace

bool occluded(const Ray& ray, double maxDistance, const ObjectRecord* excluded,
              Traversal& traversal, BlockerHint& hint) {
    const ObjectRecord* root = myObjectList;
    if (root == nullptr) return false;
    HitRecord hit{};
    if (root->kind != KIND_COMPOSITE) return root->intersectFn(*root, ray, hit) != 0;

    const SlabRay slabs(ray);
    const BoxTest test = boxTestFor(slabs);
    if (hintedBlockerStops(ray, slabs, test, maxDistance, excluded, hint)) return true;
    // A ray the hinted primitive let through is mostly followed by others it lets through:
    // the hint is dropped until the walk finds another blocker.
    hint = BlockerHint{};

    const BoundNode* const nodes = myHierarchy.nodes.data();
    if (traversal.pending.size() < myHierarchy.maxPending)
        traversal.pending.resize(myHierarchy.maxPending);
    std::uint32_t* const pending = traversal.pending.data();
    std::size_t waiting = 0;
    pending[waiting++] = myHierarchy.top;
    double near[kNodeWidth];
    while (waiting > 0) {
        const std::uint32_t index = pending[--waiting];
        const BoundNode& node = nodes[index];
        unsigned entered = test(node, slabs, maxDistance, near);
        while (entered != 0) {
            const int k = std::countr_zero(entered);
            entered &= entered - 1;
            const NodeRef child = node.child[k];
            if (child.isNode()) {
                pending[waiting++] = child.index();
                continue;
            }
            const ObjectRecord& primitive = *child.primitive();
            if (&primitive == excluded) continue;
            if (primitive.intersectFn(primitive, ray, hit) != 0 && hit.distance < maxDistance) {
                hint = {index, k};
                return true;
            }
        }
    }
    return false;
}
