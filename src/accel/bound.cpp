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
#include "model/data.h"
#include "model/fatal.h"
#include "model/globals.h"
#include "model/large_pages.h"
#include "model/out_of_memory.h"
#include "model/threads.h"
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

// Where the composites of a build go, with the slab extents of each, which its parent reads.
// Each of the build's threads takes places a run at a time, through a writer of its own, so
// that threads grouping at once neither contend for one counter nor write into each other's
// cache lines; a writer serves one thread at a time. There is room for as many composites as
// the entries could ever make (each has two children at least) and for the runs the writers
// leave unfinished, which are closed up at the end. Storage never taken is never touched, so
// the room costs no memory.
class CompositeStore {
  public:
    CompositeStore(std::size_t entries, int writers) : writers_(static_cast<std::size_t>(writers)) {
        const std::size_t capacity = (entries > 0 ? entries - 1 : 0) + writers_.size() * kRun;
        composites_.resize(capacity);
        boxes_ = makeLargePageArray<SlabBox>(capacity);
    }

    NodeRef add(const Composite& composite, const SlabBox& box, int writer) {
        Writer& run = writers_[static_cast<std::size_t>(writer)];
        if (run.next == run.end) {
            run.next = next_.fetch_add(kRun, std::memory_order_relaxed);
            run.end = run.next + kRun;
        }
        composites_[run.next] = composite;
        boxes_[run.next] = box;
        return NodeRef::node(run.next++);
    }

    const SlabBox& box(NodeRef composite) const { return boxes_[composite.index()]; }
    const Composite& composite(NodeRef composite) const { return composites_[composite.index()]; }

    // The composites made, once the build is over, with the unfinished runs closed up; `root`
    // moves with its composite.
    LargePageVectorForOverwrite<Composite> take(NodeRef& root);

  private:
    static constexpr std::uint32_t kRun = 256;

    struct alignas(64) Writer {
        std::uint32_t next = 0;
        std::uint32_t end = 0;
    };

    std::vector<Writer> writers_;
    LargePageVectorForOverwrite<Composite> composites_;
    LargePageArray<SlabBox> boxes_;
    std::atomic<std::uint32_t> next_{0};
};

// The places the writers left unfinished are filled with the composites from the end of the
// store, and the references to those follow them: every composite has two children at
// least, so a place with none is empty. The tree is the same; only places change.
LargePageVectorForOverwrite<Composite> CompositeStore::take(NodeRef& root) {
    composites_.resize(next_.load());
    boxes_.reset();
    std::vector<std::uint32_t> empty;
    for (const Writer& run : writers_) {
        for (std::uint32_t place = run.next; place < run.end; ++place) {
            composites_[place].count = 0;
            empty.push_back(place);
        }
    }
    std::sort(empty.begin(), empty.end());
    const std::size_t size = composites_.size() - empty.size();
    std::vector<std::uint32_t> movedTo(empty.size());  // of the composite at size + k
    auto hole = empty.begin();
    for (std::size_t place = size; place < composites_.size(); ++place) {
        if (composites_[place].count == 0) continue;
        composites_[*hole] = composites_[place];
        movedTo[place - size] = *hole++;
    }
    if (hole != empty.begin()) {
        const auto follow = [&](NodeRef& ref) {
            if (ref.isNode() && ref.index() >= size)
                ref = NodeRef::node(movedTo[ref.index() - size]);
        };
        for (std::size_t place = 0; place < size; ++place) {
            Composite& composite = composites_[place];
            for (int k = 0; k < composite.count; ++k) follow(composite.child[k]);
        }
        follow(root);
    }
    composites_.resize(size);
    return std::move(composites_);
}

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
// Returns the size of the first part. The smaller part waits in `scratch` meanwhile, which
// has room for half of the entries.
int partition(Entry* entries, int count, Split split, Entry* scratch) {
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

    Entry* aside = scratch;  // the end of the part set aside
    if (belowCount <= aboveCount) {
        // Keep the below part aside, close the above part up at the front, in order.
        Entry* write = entries;
        for (Entry* read = entries; read != end; ++read) {
            if (above(*read)) {
                *write++ = *read;
            } else {
                *aside++ = *read;
            }
        }
        std::reverse(entries, write);
        std::reverse_copy(scratch, aside, write);
    } else {
        // Keep the above part aside, close the below part up at the back, in order.
        Entry* write = end;
        for (Entry* read = end; read != entries;) {
            --read;
            if (above(*read)) {
                *aside++ = *read;
            } else {
                *--write = *read;
            }
        }
        std::reverse(write, end);
        std::copy(scratch, aside, entries);  // gathered back to front already
    }
    return aboveCount;
}

// Puts the entries, in their order, under a new composite and returns the composite's entry.
Entry group(const Entry* entries, int count, CompositeStore& store, int writer) {
    Composite composite{};
    composite.count = count;
    composite.composites = 1;
    SlabBox box{{kUnbounded, kUnbounded, kUnbounded}, {-kUnbounded, -kUnbounded, -kUnbounded}};
    for (int n = 0; n < count; ++n) {
        const NodeRef ref = entries[n].ref;
        composite.child[n] = ref;
        if (ref.isNode()) composite.composites += store.composite(ref).composites;
        const SlabBox child = boxOf(ref, store);
        for (int i = 0; i < 3; ++i) {
            if (child.slabMin[i] < box.slabMin[i]) box.slabMin[i] = child.slabMin[i];
            if (child.slabMax[i] > box.slabMax[i]) box.slabMax[i] = child.slabMax[i];
        }
    }
    return entryOf(box, store.add(composite, box, writer));
}

// One pass over a segment: splits it down to parts of at most `bunching` entries and groups
// each part of two or more, writing its composites through `writer`. The entries left
// (composites and lone entries, in list order) are compacted at the front; returns their
// number. `scratch` has room for half of the entries.
int reduce(Entry* entries, int count, int writer, CompositeStore& store, Entry* scratch) {
    if (count <= 1) return count;
    if (count <= bunching) {
        entries[0] = group(entries, count, store, writer);
        return 1;
    }
    const int above = partition(entries, count, findSplit(entries, count), scratch);
    const int below = count - above;
    const int belowLeft = reduce(entries + above, below, writer, store, scratch);
    const int aboveLeft = reduce(entries, above, writer, store, scratch);
    if (aboveLeft != above) {
        std::copy(entries + above, entries + above + belowLeft, entries + aboveLeft);
    }
    return aboveLeft + belowLeft;
}

// Segments this long are shared out among threads. A shorter one takes well under a
// millisecond or two, of which starting a thread would be a fair share.
constexpr int kSharedSegment = 1 << 13;

// A shared segment is split into this many parts per thread, which the threads take as they
// come free: threads that the machine slows down unevenly still end close together.
constexpr int kPartsPerThread = 8;

// Entries [begin, begin + count) of a shared segment, and how many its pass left.
struct Part {
    int begin;
    int count;
    int left = 0;
};

// Splits entries [begin, begin + count) as reduce does until the parts hold at most `most`
// entries (or few enough for reduce to group), and appends them to `parts` in list order (the part
// at or above each split first). The two halves of a split are split at once while there are
// threads for both. The entries at `begin` have the scratch space at scratch + begin / 2, so parts
// side by side never share it.
void splitInto(Entry* entries, int begin, int count, int most, int threads, Entry* scratch,
               std::vector<Part>& parts) {
    if (count <= most || count <= bunching) {
        parts.push_back({begin, count});
        return;
    }
    Entry* const segment = entries + begin;
    const int above = partition(segment, count, findSplit(segment, count), scratch + begin / 2);
    const int below = count - above;
    if (threads > 1) {
        std::vector<Part> belowParts;
        auto belowSplit = std::async(std::launch::async, [&] {
            splitInto(entries, begin + above, below, most, threads / 2, scratch, belowParts);
        });
        splitInto(entries, begin, above, most, threads - threads / 2, scratch, parts);
        belowSplit.get();
        parts.insert(parts.end(), belowParts.begin(), belowParts.end());
    } else {
        splitInto(entries, begin, above, most, 1, scratch, parts);
        splitInto(entries, begin + above, below, most, 1, scratch, parts);
    }
}

// One pass over a segment on several threads, each grouping through its own writer: the
// segment is split into parts, the threads reduce them as they come free, and what each part
// left is then closed up in list order.
int reduceShared(Entry* entries, int count, int threads, CompositeStore& store, Entry* scratch) {
    std::vector<Part> parts;
    const int most = std::max(count / (threads * kPartsPerThread), 1);
    splitInto(entries, 0, count, most, threads, scratch, parts);
    std::atomic<std::size_t> next{0};
    onThreads(threads, [&](int thread) {
        for (std::size_t p = next++; p < parts.size(); p = next++) {
            Part& part = parts[p];
            part.left =
                reduce(entries + part.begin, part.count, thread, store, scratch + part.begin / 2);
        }
    });
    int left = 0;
    for (const Part& part : parts) {
        if (left != part.begin) {
            std::copy(entries + part.begin, entries + part.begin + part.left, entries + left);
        }
        left += part.left;
    }
    return left;
}

// One pass over the whole list.
int reducePass(Entry* entries, int count, int threads, CompositeStore& store, Entry* scratch) {
    if (threads > 1 && count >= kSharedSegment) {
        return reduceShared(entries, count, threads, store, scratch);
    }
    return reduce(entries, count, 0, store, scratch);
}

// How often the gathering of the list tells how far it has come: every large page of entries.
constexpr std::size_t kEntriesPerLargePage = kLargePageSize / sizeof(Entry);

// Appends the top-level list to `entries`, reading exactly nPrims records, and keeps
// `gathered` within a large page of the number appended.
void gatherList(LargePageVector<Entry>& entries, std::atomic<std::size_t>& gathered) {
    ObjectRecord* node = myObjectList;
    for (int read = 0; read < nPrims; ++read) {
        if (node == nullptr) brokenList(nPrims, read);
        entries.push_back(entryOf(node->boundsFn(*node), NodeRef::primitive(node)));
        node = node->next;
        if (entries.size() % kEntriesPerLargePage == 0) {
            gathered.store(entries.size(), std::memory_order_relaxed);
        }
    }
}

// Takes the first touch of the scratch space, then of the `count` entries' room from its end
// back, a large page at a time, until it meets the entries being gathered.
void prefaultAhead(Entry* scratch, std::size_t scratchRoom, Entry* entries, std::size_t count,
                   const std::atomic<std::size_t>& gathered) {
    prefaultPages(scratch, scratchRoom * sizeof(Entry));
    for (std::size_t end = count;
         end > gathered.load(std::memory_order_relaxed) + kEntriesPerLargePage;
         end -= kEntriesPerLargePage) {
        prefaultPages(entries + end - kEntriesPerLargePage, kEntriesPerLargePage * sizeof(Entry));
    }
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
    const auto primitives = static_cast<std::size_t>(std::max(nPrims, 0));
    LargePageVector<Entry> entries;
    entries.reserve(primitives);
    // A partition keeps its smaller part aside: at most half of the entries.
    const std::size_t scratchRoom = primitives / 2 + 1;
    LargePageArray<Entry> scratch = makeLargePageArray<Entry>(scratchRoom);
    const int threads = loadThreads();
    std::atomic<std::size_t> gathered{0};
    if (threads > 1 && primitives >= kSharedSegment) {
        // The list is gathered, and its first partition made, on this thread alone; meanwhile
        // another takes the first touch of the memory both need.
        auto prefaulting = std::async(std::launch::async, [&] {
            prefaultAhead(scratch.get(), scratchRoom, entries.data(), primitives, gathered);
        });
        gatherList(entries, gathered);
        prefaulting.get();
    } else {
        gatherList(entries, gathered);
    }
    CompositeStore store(entries.size(), threads);
    int count = static_cast<int>(entries.size());
    // Each pass leaves fewer top-level entries, until the last groups at most `bunching`
    // under the root.
    while (count > 1) count = reducePass(entries.data(), count, threads, store, scratch.get());
    myHierarchy = Hierarchy{};
    if (count == 0) return;
    NodeRef root = entries[0].ref;
    LargePageVector<Entry>().swap(entries);
    scratch.reset();
    myHierarchy.composites = store.take(root);
    myHierarchy.root = root;
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
            layOutHierarchy(loadThreads());
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
