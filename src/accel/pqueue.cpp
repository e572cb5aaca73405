#include "accel/pqueue.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "model/out_of_memory.h"
#include "model/fatal.h"
#include "model/globals.h"

TraversalQueue::TraversalQueue() {
    // "-pqs" sets the starting size; a scene that needs more is given more as it goes.
    try {
        slots.resize(static_cast<std::size_t>(std::max(iPQSize, 2)));
    } catch (const std::bad_alloc&) {
        outOfMemory();
    }
}

void TraversalQueue::grow() {
    try {
        slots.resize(slots.size() * 2);
    } catch (const std::bad_alloc&) {
        outOfMemory();
    }
}

void emptyQueue() {
    std::puts(
        " Priority queue is empty, dying...\n"
        " Please use the -pqs or --pqsize switch to increase the priority queue size");
    endProgram(1);
}
