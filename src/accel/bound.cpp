// The bounding-slab hierarchy. Passes over the top-level list split it recursively at the
// mean centre of its widest axis until a part holds at most `bunching` entries, and put every
// part of two or more under a new composite, until at most `bunching` entries remain for the
// root. The list is worked on as an array in list order, which makes each pass a few linear
// sweeps over contiguous memory; the order of every step (the sums that make the mean, the
// reversal of both parts by the partition, the children's order) is that of the list, so the
// tree comes out the same node for node.

#include "accel/bound.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <future>
#include <memory>
#include <new>
#include <vector>

#include "accel/hierarchy.h"
#include "model/out_of_memory.h"
#include "model/data.h"
#include "model/fatal.h"
#include "model/globals.h"
#include "model/large_pages.h"
#include "primitives/primitive.h"

namespace {

// A top-level entry: a primitive or a composite, with its centre keys: slabMin + slabMax on
// each axis, twice the centre of its extent (halving would change nothing about the order).
struct Entry {
    double keys[3];
    NodeRef ref;

    double key(int axis) const { return keys[axis]; }
};

Entry entryOf(const SlabBox& box, NodeRef ref) {
    return {{box.slabMin[0] + box.slabMax[0], box.slabMin[1] + box.slabMax[1],
             box.slabMin[2] + box.slabMax[2]},
            ref};
}

// Where the composites of a build go, with the slab extents of each, which its parent reads:
// room for as many as the entries could ever make (each has two children at least), taken in
// turn by whichever thread groups. Storage that is never taken is never touched, so the room
// costs no memory.
class CompositeStore {
  public:
    explicit CompositeStore(std::size_t entries) {
        const std::size_t capacity = entries > 0 ? entries - 1 : 0;
        composites_.resize(capacity);
        if (capacity > 0) boxes_ = makeLargePageArray<SlabBox>(capacity);
    }

    NodeRef add(const Composite& composite, const SlabBox& box) {
        const std::uint32_t index = next_.fetch_add(1, std::memory_order_relaxed);
        composites_[index] = composite;
        boxes_[index] = box;
        return NodeRef::node(index);
    }

    const SlabBox& box(NodeRef composite) const { return boxes_[composite.index()]; }

    // The composites made, once the build is over.
    LargePageVectorForOverwrite<Composite> take() {
        composites_.resize(next_.load());
        boxes_.reset();
        return std::move(composites_);
    }

  private:
    LargePageVectorForOverwrite<Composite> composites_;
    LargePageArray<SlabBox> boxes_;
    std::atomic<std::uint32_t> next_{0};
};

// The slab extents of an entry's primitive or composite.
SlabBox boxOf(NodeRef ref, const CompositeStore& store) {
    if (ref.isNode()) return store.box(ref);
    const ObjectRecord& primitive = *ref.primitive();
    return primitive.boundsFn(primitive);
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
            const double key = entries[n].key(i);
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
// built as a list by pushing onto its front, so both come out in the reverse of their order.
// Returns the size of the first part. The smaller part waits in `scratch` meanwhile.
int partition(Entry* entries, int count, Split split, LargePageVector<Entry>& scratch) {
    // An equal key, or one that does not compare at all (NaN), goes above.
    const auto above = [split](const Entry& entry) {
        return !(entry.key(split.axis) < split.median);
    };
    const int aboveCount = static_cast<int>(std::count_if(entries, entries + count, above));
    const int belowCount = count - aboveCount;
    Entry* const end = entries + count;

    // Neither part may stay empty: when every key falls on one side (all centres equal, say),
    // the first half of that side's list moves to the other, which keeps the recursion from
    // repeating itself forever. The list's first entries are the segment's last ones.
    const int moved = count / 2;
    if (belowCount == 0) {
        std::reverse(entries, end - moved);
        return count - moved;
    }
    if (aboveCount == 0) {
        std::rotate(entries, end - moved, end);
        std::reverse(entries + moved, end);
        return moved;
    }

    scratch.clear();
    if (belowCount <= aboveCount) {
        // Keep the below part aside, close the above part up at the front, in order.
        Entry* write = entries;
        for (Entry* read = entries; read != end; ++read) {
            if (above(*read)) {
                *write++ = *read;
            } else {
                scratch.push_back(*read);
            }
        }
        std::reverse(entries, write);
        std::reverse_copy(scratch.begin(), scratch.end(), write);
    } else {
        // Keep the above part aside, close the below part up at the back, in order.
        Entry* write = end;
        for (Entry* read = end; read != entries;) {
            --read;
            if (above(*read)) {
                scratch.push_back(*read);
            } else {
                *--write = *read;
            }
        }
        std::reverse(write, end);
        std::copy(scratch.begin(), scratch.end(), entries);  // gathered back to front already
    }
    return aboveCount;
}

// Puts the entries, in their order, under a new composite and returns the composite's entry.
Entry group(const Entry* entries, int count, CompositeStore& store) {
    Composite composite{};
    composite.count = count;
    SlabBox box{{kUnbounded, kUnbounded, kUnbounded}, {-kUnbounded, -kUnbounded, -kUnbounded}};
    for (int n = 0; n < count; ++n) {
        composite.child[n] = entries[n].ref;
        const SlabBox child = boxOf(entries[n].ref, store);
        for (int i = 0; i < 3; ++i) {
            if (child.slabMin[i] < box.slabMin[i]) box.slabMin[i] = child.slabMin[i];
            if (child.slabMax[i] > box.slabMax[i]) box.slabMax[i] = child.slabMax[i];
        }
    }
    return entryOf(box, store.add(composite, box));
}

// Segments this long are split on two threads: below it, starting a thread costs more than
// the work it takes over.
constexpr int kParallelSegment = 1 << 16;

// One pass over a segment: splits it down to parts of at most `bunching` entries and groups
// each part of two or more. The entries left (composites and lone entries, in list order)
// are compacted at the front; returns their number. `threads` is how many threads this
// segment may still use.
int reduce(Entry* entries, int count, int threads, CompositeStore& store,
           LargePageVector<Entry>& scratch) {
    if (count <= 1) return count;
    if (count <= bunching) {
        entries[0] = group(entries, count, store);
        return 1;
    }
    const int above = partition(entries, count, findSplit(entries, count), scratch);
    const int below = count - above;

    int aboveLeft = 0;
    int belowLeft = 0;
    if (threads > 1 && count >= kParallelSegment) {
        auto belowPass = std::async(std::launch::async, [&] {
            LargePageVector<Entry> own;
            own.reserve(static_cast<std::size_t>(below) / 2 + 1);
            return reduce(entries + above, below, threads / 2, store, own);
        });
        try {
            aboveLeft = reduce(entries, above, threads - threads / 2, store, scratch);
        } catch (...) {
            belowPass.wait();
            throw;
        }
        belowLeft = belowPass.get();
    } else {
        belowLeft = reduce(entries + above, below, 1, store, scratch);
        aboveLeft = reduce(entries, above, 1, store, scratch);
    }
    std::copy(entries + above, entries + above + belowLeft, entries + aboveLeft);
    return aboveLeft + belowLeft;
}

// The top-level list as entries, reading exactly nPrims records.
LargePageVector<Entry> gatherList() {
    LargePageVector<Entry> entries;
    entries.reserve(static_cast<std::size_t>(std::max(nPrims, 0)));
    ObjectRecord* node = myObjectList;
    for (int read = 0; read < nPrims; ++read) {
        if (node == nullptr) brokenList(nPrims, read);
        entries.push_back(entryOf(node->boundsFn(*node), NodeRef::primitive(node)));
        node = node->next;
    }
    return entries;
}

// The record that stands for a root composite in myObjectList.
ObjectRecord* rootRecord() {
    ObjectRecord* root = allocateRecord();
    if (root == nullptr) outOfMemory();
    root->kind = KIND_COMPOSITE;
    return root;
}

}  // namespace

namespace {

// Runs the passes and leaves the tree in myHierarchy: its composites and its root.
void buildTree() {
    LargePageVector<Entry> entries = gatherList();
    CompositeStore store(entries.size());
    const int threads = multiThreaded ? std::max(numThreads, 1) : 1;
    // A partition keeps its smaller part aside: at most half of the entries.
    LargePageVector<Entry> scratch;
    scratch.reserve(entries.size() / 2 + 1);
    int count = static_cast<int>(entries.size());
    // Each pass leaves fewer top-level entries, until the last groups at most `bunching`
    // under the root.
    while (count > 1) count = reduce(entries.data(), count, threads, store, scratch);
    myHierarchy = Hierarchy{};
    if (count == 0) return;
    myHierarchy.root = entries[0].ref;
    LargePageVector<Entry>().swap(entries);
    LargePageVector<Entry>().swap(scratch);
    myHierarchy.composites = store.take();
}

}  // namespace

int buildBoundingSlabs() {
    try {
        // The build's working storage is gone before the layout takes its own.
        buildTree();
        const NodeRef root = myHierarchy.root;
        if (root.isNull()) return 0;
        if (root.isNode()) {
            myObjectList = rootRecord();
            layOutHierarchy(multiThreaded ? std::max(numThreads, 1) : 1);
        } else {
            myObjectList = const_cast<ObjectRecord*>(root.primitive());
        }
        myObjectList->next = nullptr;
        nPrims += static_cast<int>(myHierarchy.composites.size());
    } catch (const std::bad_alloc&) {
        outOfMemory();
    }
    return 0;
}

int freeHierarchy(ObjectRecord** head) {
    int released = 0;
    if (!myHierarchy.root.isNull()) {
        // The tree holds every primitive once, under its composites.
        released = 1;
        for (const Composite& composite : myHierarchy.composites) released += composite.count;
        *head = nullptr;
    } else {
        released = freeList(head);
    }
    myHierarchy = Hierarchy{};
    return released;
}
