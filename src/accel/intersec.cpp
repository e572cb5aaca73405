#include "accel/intersec.h"

#include <algorithm>
#include <utility>

#include "accel/hierarchy.h"
#include "model/globals.h"
#include "primitives/primitive.h"

namespace {

// The box test of the traversals: the widest the processor has, unless a test asks for
// another.
struct {
    int lanes;
    BoxTest test;
} boxTest{widestBoxTestLanes(), boxTestOfLanes(widestBoxTestLanes())};

}  // namespace

QueueEntry checkAndEnqueue(const BoundNode& node, const SlabRay& ray, double maxDistance,
                           const ObjectRecord* excluded, TraversalQueue& queue) {
    double near[kNodeWidth];
    const unsigned entered = boxTest.test(node, ray, maxDistance, near);
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

int boxTestLanes() {
    return boxTest.lanes;
}

int setBoxTestLanes(int lanes) {
    boxTest.lanes = std::min(std::max(lanes, 1), widestBoxTestLanes());
    if (boxTest.lanes == 3) boxTest.lanes = 2;
    boxTest.test = boxTestOfLanes(boxTest.lanes);
    return boxTest.lanes;
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
    if (traversal.pending.size() < myHierarchy.maxPending)
        traversal.pending.resize(myHierarchy.maxPending);
    std::uint32_t* const pending = traversal.pending.data();
    std::size_t waiting = 0;
    pending[waiting++] = myHierarchy.top;
    while (waiting > 0) {
        const BoundNode& node = nodes[pending[--waiting]];
        double near[kNodeWidth];
        const unsigned entered = boxTest.test(node, slabs, maxDistance, near);
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
