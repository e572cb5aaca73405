#pragma once

#include <array>
#include <span>

#include "accel/pqueue.h"
#include "model/records.h"

// Finds the nearest primitive the ray meets closer than maxDistance, skipping `excluded`
// (may be null). Returns 1 and fills `hit` on a hit, 0 otherwise. Safe to call from several
// threads at once: the hierarchy is only read and the queue belongs to the calling thread.
int intersect(const Ray& ray, double maxDistance, HitRecord& hit, const ObjectRecord* excluded);

// Queues `node` keyed by the distance at which the ray enters its slab box, unless the box is
// missed, lies behind the origin or starts beyond maxDistance.
void checkAndEnqueue(const ObjectRecord& node, double maxDistance,
                     const std::array<double, 3>& origin, const std::array<double, 3>& direction,
                     std::span<QueueEntry> queue, int& count);
