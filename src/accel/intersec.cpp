#include "accel/intersec.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <vector>

#include "accel/out_of_memory.h"
#include "model/globals.h"
#include "primitives/primitive.h"

namespace {

// The calling thread's queue, iPQSize slots. Every call of intersect starts it empty, so it
// behaves as a queue of its own; keeping the storage saves an allocation per ray. intersect
// never runs inside itself on one thread (primitive tests do not trace), so one buffer per
// thread is enough.
std::span<QueueEntry> threadQueue() {
    thread_local std::vector<QueueEntry> storage;
    const auto size = static_cast<std::size_t>(std::max(iPQSize, 0));
    if (storage.size() < size) {
        try {
            storage.resize(size);
        } catch (const std::bad_alloc&) {
            outOfMemory();
        }
    }
    return {storage.data(), size};
}

}  // namespace

int intersect(const Ray& ray, double maxDistance, HitRecord& hit, const ObjectRecord* excluded) {
    const ObjectRecord* root = myObjectList;
    if (root == nullptr) return 0;  // a scene without primitives: nothing to hit

    // A one-primitive scene has no composite to bound it: the primitive's own test answers,
    // with neither the distance bound nor the exclusion applied.
    if (root->kind != KIND_COMPOSITE) return root->intersectFn(*root, ray, hit);

    // The slab normals are the x, y and z axes, so the coordinates are the projections.
    const std::array<double, 3> origin = {ray.origin.x, ray.origin.y, ray.origin.z};
    const std::array<double, 3> direction = {ray.direction.x, ray.direction.y, ray.direction.z};

    const std::span<QueueEntry> queue = threadQueue();
    int count = 0;
    double best = maxDistance;
    const ObjectRecord* found = nullptr;
    HitRecord candidate{};

    checkAndEnqueue(*root, maxDistance, origin, direction, queue, count);
    while (count > 0) {
        const QueueEntry entry = priorityQueueDelete(queue, count);
        // Keys leave in increasing order: nothing left can hold a nearer hit. A box entered
        // exactly at the best distance may still hold a hit there, but it cannot replace it.
        if (entry.key > best) break;

        const ObjectRecord& node = *entry.node;
        if (node.kind == KIND_COMPOSITE) {
            for (const ObjectRecord* child = node.children->first; child != nullptr;
                 child = child->next) {
                // A shadow ray leaves the surface being shaded; skipping it by identity
                // keeps the ray from finding that surface again at a rounding distance.
                if (child == excluded) continue;
                checkAndEnqueue(*child, maxDistance, origin, direction, queue, count);
            }
        } else if (node.intersectFn(node, ray, candidate) != 0 && candidate.distance < best) {
            // Strictly nearer only: of two hits at one distance the first tested stays.
            hit = candidate;
            found = &node;
            best = candidate.distance;
        }
    }
    return found != nullptr ? 1 : 0;
}

void checkAndEnqueue(const ObjectRecord& node, double maxDistance,
                     const std::array<double, 3>& origin, const std::array<double, 3>& direction,
                     std::span<QueueEntry> queue, int& count) {
    double near = -kUnbounded;
    double far = maxDistance;
    for (int i = 0; i < 3; ++i) {
        // A ray parallel to the slab planes sets no bound on this axis, even when its origin
        // lies outside them: the other axes and the primitive test decide.
        if (direction[i] == 0) continue;
        const double t1 = (node.slabMin[i] - origin[i]) / direction[i];
        const double t2 = (node.slabMax[i] - origin[i]) / direction[i];
        if (t2 > t1) {
            far = std::min(far, t2);
            near = std::max(near, t1);
        } else {
            far = std::min(far, t1);
            near = std::max(near, t2);
        }
        if (near > far) return;
        // Behind the origin, or ending within the tolerance in front of it: no bounded
        // primitive accepts a hit that near, so the box has nothing to offer.
        if (far < kEpsilon) return;
    }
    priorityQueueInsert(near, &node, queue, count);
}
