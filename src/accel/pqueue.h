#pragma once

#include <utility>
#include <vector>

#include "accel/hierarchy.h"

// A candidate of the nearest-hit traversal: a node or a primitive, keyed by the distance
// along the ray at which the ray enters its slab box (negative when the ray starts inside it).
struct QueueEntry {
    double key;
    NodeRef ref;
};

// The candidates of one thread's traversals, nearest first: a binary min-heap on `key` kept
// from slot 1 (slot 0 is never used), the children of slot j in slots 2j and 2j + 1. It starts
// with iPQSize slots and doubles whenever it fills, so a scene that keeps many candidates alive
// slows down instead of failing; only exhausted memory ends the run. Owned by the thread that
// traces; every traversal starts it empty.
struct TraversalQueue {
    TraversalQueue();

    std::vector<QueueEntry> slots;
    int count = 0;
    int highWaterMark = 0;  // the most entries it has held at once

    // Makes room for one more entry. Ends the run with status 1 when memory is exhausted.
    void grow();
};

// Adds an entry. An equal key stops the climb: equal keys leave in heap order, not in the
// order they came.
inline void priorityQueueInsert(double key, NodeRef ref, TraversalQueue& queue) {
    int n = ++queue.count;
    if (n >= static_cast<int>(queue.slots.size())) queue.grow();
    if (n > queue.highWaterMark) queue.highWaterMark = n;

    QueueEntry* const slots = queue.slots.data();
    slots[n] = {key, ref};
    while (n > 1 && slots[n / 2].key > slots[n].key) {
        std::swap(slots[n / 2], slots[n]);
        n /= 2;
    }
}

// Ends the run: the traversal never removes from an empty queue.
[[noreturn]] void emptyQueue();

// Removes and returns the entry with the smallest key; of two equal children the right one
// rises.
inline QueueEntry priorityQueueDelete(TraversalQueue& queue) {
    if (queue.count <= 0) emptyQueue();
    QueueEntry* const slots = queue.slots.data();
    const QueueEntry smallest = slots[1];
    const int count = --queue.count;
    slots[1] = slots[count + 1];

    int j = 1;
    while (2 * j <= count) {
        int c = 2 * j;
        if (c < count && !(slots[c + 1].key > slots[c].key)) ++c;
        if (!(slots[j].key > slots[c].key)) break;
        std::swap(slots[j], slots[c]);
        j = c;
    }
    return smallest;
}
