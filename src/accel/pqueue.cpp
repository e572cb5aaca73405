#include "accel/pqueue.h"

#include <atomic>
#include <cstdio>
#include <utility>

#include "model/fatal.h"
#include "model/globals.h"

namespace {

// Render threads raise the high-water mark concurrently. atomic_ref keeps the update free of
// data races while the global stays a plain int for the driver, which resets it before any
// thread traces.
void raiseHighWaterMark(int size) {
    std::atomic_ref<int> mark(maxQueueSize);
    int seen = mark.load(std::memory_order_relaxed);
    while (size > seen && !mark.compare_exchange_weak(seen, size, std::memory_order_relaxed)) {
    }
}

}  // namespace

void priorityQueueInsert(double key, const ObjectRecord* node, std::span<QueueEntry> queue,
                         int& count) {
    int n = ++count;
    raiseHighWaterMark(n);
    if (n >= static_cast<int>(queue.size())) {
        std::fputs(
            "\n\n LUMORA is out of space...\n"
            " Please use the -pqs or --pqsize switch to increase the priority queue size\n",
            stderr);
        std::fflush(stderr);
        endProgram(1);
    }

    queue[n] = {key, node};
    // An equal key stops the climb: equal keys leave in heap order, not in insertion order.
    while (n > 1 && queue[n / 2].key > queue[n].key) {
        std::swap(queue[n / 2], queue[n]);
        n /= 2;
    }
}

QueueEntry priorityQueueDelete(std::span<QueueEntry> queue, int& count) {
    if (count <= 0) {
        std::puts(
            " Priority queue is empty, dying...\n"
            " Please use the -pqs or --pqsize switch to increase the priority queue size");
        endProgram(1);
    }

    const QueueEntry smallest = queue[1];
    queue[1] = queue[count];
    --count;

    int j = 1;
    while (2 * j <= count) {
        // The smaller child; on equal keys the right one.
        int c = 2 * j;
        if (c < count && !(queue[c + 1].key > queue[c].key)) ++c;
        if (!(queue[j].key > queue[c].key)) break;
        std::swap(queue[j], queue[c]);
        j = c;
    }
    return smallest;
}
