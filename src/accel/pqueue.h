#pragma once

#include <span>

#include "model/records.h"

// A candidate of the traversal: a composite or a primitive, keyed by the distance along the
// ray at which the ray enters its slab box (negative when the ray starts inside it).
struct QueueEntry {
    double key;
    const ObjectRecord* node;
};

// A binary min-heap on `key` kept in `queue` from slot 1 (slot 0 is never used); the children
// of slot j are slots 2j and 2j + 1. `count` is the number of entries in use. The capacity is
// queue.size(), intersect passes iPQSize slots, so at most queue.size() - 1 entries fit.

// Adds an entry. Ends the run with status 1 when it would not fit.
void priorityQueueInsert(double key, const ObjectRecord* node, std::span<QueueEntry> queue,
                         int& count);

// Removes and returns the entry with the smallest key. Ends the run with status 1 when the
// queue is empty.
QueueEntry priorityQueueDelete(std::span<QueueEntry> queue, int& count);
