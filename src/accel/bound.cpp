#include "accel/bound.h"

#include <cstdio>
#include <memory>
#include <new>

#include "accel/out_of_memory.h"
#include "model/data.h"
#include "model/fatal.h"
#include "model/globals.h"
#include "primitives/primitive.h"

namespace {

// State of the build in progress.
int total = 0;      // entries in the top-level list
int Axis = 0;       // split axis chosen by the latest findAxis
double Median = 0;  // split value chosen by the latest findAxis: a mean, not a median

// Twice the centre of the node's extent: halving would change nothing about the order.
double centreKey(const ObjectRecord& node, int axis) {
    return node.slabMin[axis] + node.slabMax[axis];
}

// nPrims promised more nodes than the list holds. The grouping step reports it the same way
// as findAxis: it is one fault, a broken object list, whichever step runs into it.
[[noreturn]] void brokenList(int count, int read) {
    std::fprintf(stderr, "NULL top in FindAxis, count = %ld\n",
                 static_cast<long>(count) - 1 - read);
    std::fflush(stderr);
    endProgram(1);
}

void pushFront(ObjectRecord*& list, ObjectRecord*& last, ObjectRecord* node) {
    if (list == nullptr) last = node;
    node->next = list;
    list = node;
}

// Moves `n` nodes from the front of one list to the front of another.
void moveFront(ObjectRecord*& from, ObjectRecord*& to, ObjectRecord*& toLast, int n) {
    for (int i = 0; i < n; ++i) {
        ObjectRecord* node = from;
        from = node->next;
        pushFront(to, toLast, node);
    }
}

// Splits the segment in two by relinking its nodes: the part at or above Median first, then
// the part below it. Recurses into both parts.
void split(ObjectRecord*& link, int count) {
    findAxis(link, count);

    ObjectRecord* above = nullptr;
    ObjectRecord* aboveLast = nullptr;
    ObjectRecord* below = nullptr;
    ObjectRecord* belowLast = nullptr;
    int aboveCount = 0;
    int belowCount = 0;
    ObjectRecord* node = link;
    for (int i = 0; i < count; ++i) {
        ObjectRecord* following = node->next;
        // An equal key, or one that does not compare at all (NaN), goes above.
        if (centreKey(*node, Axis) < Median) {
            pushFront(below, belowLast, node);
            ++belowCount;
        } else {
            pushFront(above, aboveLast, node);
            ++aboveCount;
        }
        node = following;
    }
    ObjectRecord* const after = node;

    // When every key falls on one side (all centres equal, say), an empty part would make
    // the recursion repeat itself forever: hand half of the nodes to the other side.
    if (belowCount == 0) {
        moveFront(above, below, belowLast, count / 2);
        belowCount = count / 2;
        aboveCount -= count / 2;
    } else if (aboveCount == 0) {
        moveFront(below, above, aboveLast, count / 2);
        aboveCount = count / 2;
        belowCount -= count / 2;
    }

    link = above;
    aboveLast->next = below;
    belowLast->next = after;

    sortAndSplit(aboveLast->next, belowCount);
    sortAndSplit(link, aboveCount);
}

// Puts the segment's nodes, in their order, under a new composite that takes their place.
void group(ObjectRecord*& link, int count) {
    ObjectRecord* const first = link;
    ObjectRecord* last = nullptr;
    ObjectRecord* node = first;
    for (int read = 0; read < count; ++read) {
        if (node == nullptr) brokenList(count, read);
        last = node;
        node = node->next;
    }

    std::unique_ptr<ObjectRecord> composite(allocateRecord());
    std::unique_ptr<ChildGroup> children(new (std::nothrow) ChildGroup{count, first});
    if (composite == nullptr || children == nullptr) outOfMemory();

    ObjectRecord& box = *composite.release();
    box.kind = KIND_COMPOSITE;
    box.children = children.release();
    total = total - count + 1;

    link = &box;
    box.next = last->next;
    last->next = nullptr;

    for (int i = 0; i < 3; ++i) {
        box.slabMin[i] = kUnbounded;
        box.slabMax[i] = -kUnbounded;
        for (const ObjectRecord* child = first; child != nullptr; child = child->next) {
            if (child->slabMin[i] < box.slabMin[i]) box.slabMin[i] = child->slabMin[i];
            if (child->slabMax[i] > box.slabMax[i]) box.slabMax[i] = child->slabMax[i];
        }
    }
    ++nPrims;
}

}  // namespace

int buildBoundingSlabs() {
    total = nPrims;
    // One pass per call: each pass groups the current top-level list into fewer entries,
    // until the last call sees at most `bunching` of them and makes the root.
    while (sortAndSplit(myObjectList, total) != 0) {
    }
    return 0;
}

int sortAndSplit(ObjectRecord*& link, int count) {
    if (count <= 0) return 0;
    if (count > bunching) {
        split(link, count);
        return 1;
    }
    if (count > 1) group(link, count);
    return 0;
}

void findAxis(const ObjectRecord* first, int count) {
    double lo[3] = {kUnbounded, kUnbounded, kUnbounded};
    double hi[3] = {-kUnbounded, -kUnbounded, -kUnbounded};
    double sum[3] = {0, 0, 0};
    const ObjectRecord* node = first;
    for (int read = 0; read < count; ++read) {
        if (node == nullptr) brokenList(count, read);
        for (int i = 0; i < 3; ++i) {
            const double key = centreKey(*node, i);
            if (key < lo[i]) lo[i] = key;
            if (key > hi[i]) hi[i] = key;
            sum[i] += key;
        }
        node = node->next;
    }

    // Widest spread of centres; a later axis must be strictly wider, so ties go to the lower.
    Axis = 0;
    double widest = -kUnbounded;
    for (int i = 0; i < 3; ++i) {
        if (hi[i] - lo[i] > widest) {
            widest = hi[i] - lo[i];
            Axis = i;
        }
    }
    Median = sum[Axis] / count;
}

int freeHierarchy(ObjectRecord** head) {
    int released = 0;
    ObjectRecord* pending = *head;
    *head = nullptr;
    while (ObjectRecord* node = pending) {
        pending = node->next;
        if (node->kind == KIND_COMPOSITE && node->children != nullptr) {
            // Splice the children in front of what is still pending: a skewed tree can be
            // deep, and this way the walk needs neither recursion nor a stack.
            ObjectRecord* first = node->children->first;
            if (first != nullptr) {
                ObjectRecord* last = first;
                while (last->next != nullptr) last = last->next;
                last->next = pending;
                pending = first;
            }
            delete node->children;
        }
        delete node;
        ++released;
    }
    return released;
}
