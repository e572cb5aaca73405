// The bounding-slab hierarchy. Passes over the top-level list split it recursively at the
// mean centre of its widest axis until a part holds at most `bunching` entries, and put every
// part of two or more under a new composite, until at most `bunching` entries remain for the
// root. The list is worked on as an array in list order, which makes each pass a few linear
// sweeps over contiguous memory; the order of every step (the sums that make the mean, the
// reversal of both parts by the partition, the children's order) is that of the list, so the
// tree comes out the same node for node.

#include "accel/bound.h"

#include <algorithm>
#include <cstdio>
#include <future>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "accel/hierarchy.h"
#include "accel/out_of_memory.h"
#include "model/data.h"
#include "model/fatal.h"
#include "model/globals.h"
#include "primitives/primitive.h"


namespace {

// A top-level entry with its centre keys: slabMin + slabMax on each axis, twice the centre of
// its extent (halving would change nothing about the order).
struct Entry {
    double key[3];
    ObjectRecord* node;
};

Entry entryOf(ObjectRecord* node) {
    return {{node->slabMin[0] + node->slabMax[0], node->slabMin[1] + node->slabMax[1],
             node->slabMin[2] + node->slabMax[2]},
            node};
}

// nPrims promised more nodes than the list holds: a broken object list.
[[noreturn]] void brokenList(int count, int read) {
    std::fprintf(stderr, "NULL top in FindAxis, count = %ld\n",
                 static_cast<long>(count) - 1 - read);
    std::fflush(stderr);
    endProgram(1);
}

struct Split {
    int axis;
    double median;  // the mean centre key, not a true median
};

// The axis of widest spread of the centres (a later axis must be strictly wider, so ties go
// to the lower one) and the mean centre key along it, summed in list order.
Split findSplit(const Entry* entries, int count) {
    double lo[3] = {kUnbounded, kUnbounded, kUnbounded};
    double hi[3] = {-kUnbounded, -kUnbounded, -kUnbounded};
    double sum[3] = {0, 0, 0};
    for (int n = 0; n < count; ++n) {
        for (int i = 0; i < 3; ++i) {
            const double key = entries[n].key[i];
            if (key < lo[i]) lo[i] = key;
            if (key > hi[i]) hi[i] = key;
            sum[i] += key;
        }
    }
    Split split{0, 0};
    double widest = -kUnbounded;
    for (int i = 0; i < 3; ++i) {
        if (hi[i] - lo[i] > widest) {
            widest = hi[i] - lo[i];
            split.axis = i;
        }
    }
    split.median = sum[split.axis] / count;
    return split;
}

// Partitions the entries in place, the part at or above the median first. Each part is
// built by pushing onto the front of a list, so both come out in the reverse of their order.
// Returns the size of the first part. Neither part is left empty: when every key falls on one
// side (all centres equal, say), the first half of that side's list moves to the other,
// which keeps the recursion from repeating itself forever.
int partition(Entry* entries, int count, Split split, std::vector<Entry>& scratch) {
    scratch.clear();
    scratch.reserve(count);
    // An equal key, or one that does not compare at all (NaN), goes above.
    for (int n = count - 1; n >= 0; --n) {
        if (!(entries[n].key[split.axis] < split.median)) scratch.push_back(entries[n]);
    }
    const int above = static_cast<int>(scratch.size());
    for (int n = count - 1; n >= 0; --n) {
        if (entries[n].key[split.axis] < split.median) scratch.push_back(entries[n]);
    }
    const int moved = count / 2;
    if (above == count) {
        // The first `moved` of the list go below, keeping the order they had in it.
        std::reverse_copy(scratch.begin(), scratch.begin() + moved, entries + (count - moved));
        std::copy(scratch.begin() + moved, scratch.end(), entries);
        return count - moved;
    }
    if (above == 0) {
        std::reverse_copy(scratch.begin(), scratch.begin() + moved, entries);
        std::copy(scratch.begin() + moved, scratch.end(), entries + moved);
        return moved;
    }
    std::copy(scratch.begin(), scratch.end(), entries);
    return above;
}

// Puts the entries, in their order, under a new composite and returns the composite's entry.
Entry group(const Entry* entries, int count) {
    std::unique_ptr<ObjectRecord> composite(allocateRecord());
    std::unique_ptr<ChildGroup> children(new (std::nothrow) ChildGroup{count, entries[0].node});
    if (composite == nullptr || children == nullptr) outOfMemory();

    ObjectRecord& box = *composite.release();
    box.kind = KIND_COMPOSITE;
    box.children = children.release();
    for (int n = 0; n + 1 < count; ++n) entries[n].node->next = entries[n + 1].node;
    entries[count - 1].node->next = nullptr;

    for (int i = 0; i < 3; ++i) {
        box.slabMin[i] = kUnbounded;
        box.slabMax[i] = -kUnbounded;
        for (int n = 0; n < count; ++n) {
            const ObjectRecord& child = *entries[n].node;
            if (child.slabMin[i] < box.slabMin[i]) box.slabMin[i] = child.slabMin[i];
            if (child.slabMax[i] > box.slabMax[i]) box.slabMax[i] = child.slabMax[i];
        }
    }
    return entryOf(&box);
}

// Segments this long are split on two threads: below it, starting a thread costs more than
// the work it takes over.
constexpr int kParallelSegment = 1 << 16;

// One pass over a segment: splits it down to parts of at most `bunching` entries and groups
// each part of two or more. The entries left (composites and lone entries, in list order)
// are compacted at the front; returns their number. `threads` is how many threads this
// segment may still use.
int reduce(Entry* entries, int count, int threads, std::vector<Entry>& scratch) {
    if (count <= 1) return count;
    if (count <= bunching) {
        entries[0] = group(entries, count);
        return 1;
    }
    const int above = partition(entries, count, findSplit(entries, count), scratch);
    const int below = count - above;

    int aboveLeft = 0;
    int belowLeft = 0;
    if (threads > 1 && count >= kParallelSegment) {
        auto belowPass = std::async(std::launch::async, [&] {
            std::vector<Entry> own;
            return reduce(entries + above, below, threads / 2, own);
        });
        try {
            aboveLeft = reduce(entries, above, threads - threads / 2, scratch);
        } catch (...) {
            belowPass.wait();
            throw;
        }
        belowLeft = belowPass.get();
    } else {
        belowLeft = reduce(entries + above, below, 1, scratch);
        aboveLeft = reduce(entries, above, 1, scratch);
    }
    std::copy(entries + above, entries + above + belowLeft, entries + aboveLeft);
    return aboveLeft + belowLeft;
}

// The top-level list as entries, reading exactly nPrims records.
std::vector<Entry> gatherList() {
    std::vector<Entry> entries;
    try {
        entries.reserve(static_cast<std::size_t>(std::max(nPrims, 0)));
    } catch (const std::bad_alloc&) {
        outOfMemory();
    }
    ObjectRecord* node = myObjectList;
    for (int read = 0; read < nPrims; ++read) {
        if (node == nullptr) brokenList(nPrims, read);
        entries.push_back(entryOf(node));
        node = node->next;
    }
    return entries;
}

}  // namespace

int buildBoundingSlabs() {
    std::vector<Entry> entries = gatherList();
    const int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::vector<Entry> scratch;
    int count = static_cast<int>(entries.size());
    // Each pass leaves fewer top-level entries, until the last groups at most `bunching`
    // under the root.
    try {
        while (count > 1) count = reduce(entries.data(), count, threads, scratch);
        if (count == 1) {
            myObjectList = entries[0].node;
            myObjectList->next = nullptr;
            if (myObjectList->kind == KIND_COMPOSITE) layOutHierarchy(*myObjectList);
            nPrims += myHierarchy.composites;
        }
    } catch (const std::bad_alloc&) {
        outOfMemory();
    }
    return 0;
}

int freeHierarchy(ObjectRecord** head) {
    myHierarchy = Hierarchy{};
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
