#include "accel/hierarchy.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cfloat>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "model/large_pages.h"
#include "model/threads.h"
#include "primitives/primitive.h"

Hierarchy myHierarchy;

namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();

// The next float above a finite f, without the library call: the bits of a positive float
// count up with its value, those of a negative one down.
float nextFloatUp(float f) {
    if (f == 0) return std::numeric_limits<float>::denorm_min();
    const auto bits = std::bit_cast<std::uint32_t>(f);
    return std::bit_cast<float>(f > 0 ? bits + 1 : bits - 1);
}

// The single-precision value at or below x, and at or above it: the rounding is outwards, so
// that a box holds what it bounds whole. Beyond the largest float lies the infinity.
float lowerBound(double x) {
    if (x > FLT_MAX) return FLT_MAX;
    if (!(x >= -FLT_MAX)) return std::isnan(x) ? static_cast<float>(x) : -kInfinity;
    const float f = static_cast<float>(x);
    return f > x ? -nextFloatUp(-f) : f;
}

float upperBound(double x) {
    if (x < -FLT_MAX) return -FLT_MAX;
    if (!(x <= FLT_MAX)) return std::isnan(x) ? static_cast<float>(x) : kInfinity;
    const float f = static_cast<float>(x);
    return f < x ? nextFloatUp(f) : f;
}

// A box being drawn around the children of a node. Rounding outwards keeps the order of
// values, so the union of rounded boxes is the rounded union of the boxes.
struct FloatBox {
    float lo[3] = {kInfinity, kInfinity, kInfinity};
    float hi[3] = {-kInfinity, -kInfinity, -kInfinity};

    static FloatBox around(const SlabBox& box) {
        FloatBox rounded;
        for (int i = 0; i < 3; ++i) {
            rounded.lo[i] = lowerBound(box.slabMin[i]);
            rounded.hi[i] = upperBound(box.slabMax[i]);
        }
        return rounded;
    }

    void include(const FloatBox& other) {
        for (int i = 0; i < 3; ++i) {
            lo[i] = std::min(lo[i], other.lo[i]);
            hi[i] = std::max(hi[i], other.hi[i]);
        }
    }
};

// A primitive whose box reaches the unbounded extent on some axis: a plane.
bool isUnbounded(const SlabBox& box) {
    for (int i = 0; i < 3; ++i) {
        if (box.slabMin[i] <= -kUnbounded || box.slabMax[i] >= kUnbounded) return true;
    }
    return false;
}

// A node being filled, with the box that will bound it in its parent.
struct OpenNode {
    BoundNode node{};
    FloatBox box;
    int count = 0;

    void add(NodeRef ref, const FloatBox& childBox) {
        const int k = count++;
        for (int i = 0; i < 3; ++i) {
            node.lo[i][k] = childBox.lo[i];
            node.hi[i][k] = childBox.hi[i];
        }
        node.child[k] = ref;
        box.include(childBox);
    }
};

// Stores a finished node after the others and returns its place in the nodes array.
NodeRef store(const OpenNode& open) {
    myHierarchy.nodes.push_back(open.node);
    return NodeRef::node(static_cast<std::uint32_t>(myHierarchy.nodes.size() - 1));
}

struct Candidate {
    NodeRef ref;
    FloatBox box;
};

// A part of the nodes array that one subtree is laid out into: it holds at most as many nodes
// as the subtree has composites. The array is not cleared beforehand, so that each part's
// pages are first touched by the thread that lays it out: the places no node takes are
// cleared at the end.
struct Region {
    BoundNode* nodes;
    std::uint32_t first;  // index of nodes[0] in the whole array
    std::uint32_t size;
    std::uint32_t used = 0;

    NodeRef store(const OpenNode& open) {
        nodes[used] = open.node;
        return NodeRef::node(first + used++);
    }

    void clearRest() { std::fill(nodes + used, nodes + size, BoundNode{}); }
};

// What laying out a subtree gives its parent: the node of the subtree (none when it holds
// only unbounded primitives), the unbounded primitives, in tree order, and its depth.
struct Subtree {
    std::optional<Candidate> node;
    std::vector<Candidate> unbounded;
    int depth = 0;
};

// A primitive child goes into the node being filled, or, when its box reaches the unbounded
// extent, with the unbounded primitives.
void placePrimitive(NodeRef child, OpenNode& open, std::vector<Candidate>& unbounded) {
    const SlabBox box = child.primitive()->boundsFn(*child.primitive());
    if (isUnbounded(box)) {
        unbounded.push_back({child, FloatBox::around(box)});
    } else {
        open.add(child, FloatBox::around(box));
    }
}

// Lays out the subtree under the composite into the region, in post-order, without recursion:
// a degenerate tree can be deep. A frame lays out one composite; when its children are done,
// its node goes to the region and its box to its parent. A composite that holds only unbounded
// primitives leaves no node at all. A node's subtree ends right before it, so the nodes a ray
// walks down through lie near each other.
Subtree layOutSubtree(std::uint32_t composite, Region& region) {
    const auto& composites = myHierarchy.composites;
    struct Frame {
        const Composite* composite;
        int nextChild;
        OpenNode open;
    };
    Subtree subtree;
    std::vector<Frame> frames{{&composites[composite], 0, {}}};
    subtree.depth = 1;
    while (!frames.empty()) {
        Frame& frame = frames.back();
        if (frame.nextChild == frame.composite->count) {
            const OpenNode finished = frame.open;
            frames.pop_back();
            if (finished.count == 0) continue;
            const NodeRef node = region.store(finished);
            if (frames.empty()) {
                subtree.node = Candidate{node, finished.box};
            } else {
                frames.back().open.add(node, finished.box);
            }
            continue;
        }
        const NodeRef child = frame.composite->child[frame.nextChild++];
        if (child.isNode()) {
            frames.push_back({&composites[child.index()], 0, {}});
            subtree.depth = std::max(subtree.depth, static_cast<int>(frames.size()));
            continue;
        }
        placePrimitive(child, frame.open, subtree.unbounded);
    }
    return subtree;
}

// Parts laid out side by side, per thread: enough for the threads to end close together when
// the machine runs some slower than others.
constexpr std::size_t kPartsPerThread = 4;

// Levels of composites at most above the parts: their nodes are made on one thread.
constexpr int kMostUpperLevels = 3;

struct Part {
    std::uint32_t composite;
    Region region;
    Subtree subtree;
};

// The composites whose subtrees are laid out as parts, in the order of a walk through the
// tree: those `levels` composites below the root, one level further down while there are
// fewer than the threads want and composites below them.
std::vector<std::uint32_t> partRoots(std::uint32_t root, int threads, int& levels) {
    const auto& composites = myHierarchy.composites;
    const std::size_t wanted = static_cast<std::size_t>(threads) * kPartsPerThread;
    std::vector<std::uint32_t> level{root};
    levels = 0;
    while (levels < kMostUpperLevels && (levels == 0 || level.size() < wanted)) {
        std::vector<std::uint32_t> below;
        for (const std::uint32_t composite : level) {
            const Composite& parent = composites[composite];
            for (int k = 0; k < parent.count; ++k) {
                if (parent.child[k].isNode()) below.push_back(parent.child[k].index());
            }
        }
        if (below.empty()) break;
        level = std::move(below);
        ++levels;
    }
    if (levels == 0) level.clear();
    return level;
}

// Lays out a composite `levels` above the parts: its node is made from its children, the
// nodes of the parts, taken in order from `laidOut`, and of the composites between, made
// the same way. The node goes after the regions.
Subtree layOutUpper(std::uint32_t composite, int levels, std::vector<Part>::iterator& laidOut) {
    const Composite& upper = myHierarchy.composites[composite];
    Subtree subtree;
    subtree.depth = 1;
    OpenNode open;
    for (int k = 0; k < upper.count; ++k) {
        const NodeRef child = upper.child[k];
        if (child.isNode()) {
            const Subtree below = levels > 1 ? layOutUpper(child.index(), levels - 1, laidOut)
                                             : std::move((laidOut++)->subtree);
            subtree.unbounded.insert(subtree.unbounded.end(), below.unbounded.begin(),
                                     below.unbounded.end());
            if (below.node) open.add(below.node->ref, below.node->box);
            subtree.depth = std::max(subtree.depth, below.depth + 1);
            continue;
        }
        placePrimitive(child, open, subtree.unbounded);
    }
    if (open.count > 0) subtree.node = Candidate{store(open), open.box};
    return subtree;
}

// Hangs the unbounded primitives, then the root's node, under the top: a chain of nodes when
// they do not fit one. Fills the chain from its end, so that every node but the last keeps
// its last slot for the next one.
void layOutTop(std::vector<Candidate> candidates) {
    OpenNode top;
    bool linked = false;  // whether `top` is a node of the chain already
    std::size_t end = candidates.size();
    int chain = 0;
    while (true) {
        ++chain;
        const std::size_t room = linked ? kNodeWidth - 1 : kNodeWidth;
        const std::size_t begin = end > room ? end - room : 0;
        OpenNode open;
        for (std::size_t n = begin; n < end; ++n) open.add(candidates[n].ref, candidates[n].box);
        if (linked) open.add(store(top), top.box);
        top = open;
        linked = true;
        if (begin == 0) break;
        end = begin;
    }
    myHierarchy.top = store(top).index();
    // Each node opened leaves at most all but one of its children waiting besides the one
    // walked into, on every level of the chain and of the tree below it.
    myHierarchy.maxPending =
        static_cast<std::size_t>(kNodeWidth - 1) * (chain + myHierarchy.depth) + 1;
}

}  // namespace

void layOutHierarchy(int threads) {
    Hierarchy& hierarchy = myHierarchy;
    // The subtrees of the composites some levels below the root are laid out each into a
    // region of its own, on as many threads as there are, and the nodes of the few composites
    // above them follow the regions. Only the places differ from laying the whole tree out in
    // one pass: every node holds the same.
    int levels = 0;
    std::vector<Part> parts;
    std::uint32_t size = 0;
    for (const std::uint32_t composite : partRoots(hierarchy.root.index(), threads, levels)) {
        const std::uint32_t composites = hierarchy.composites[composite].composites;
        parts.push_back({composite, {nullptr, size, composites}, {}});
        size += composites;
    }
    hierarchy.nodes.clear();
    hierarchy.nodes.reserve(hierarchy.composites.size() + 1 + kNodeWidth);
    hierarchy.nodes.resize(size);
    for (Part& part : parts) part.region.nodes = hierarchy.nodes.data() + part.region.first;

    // The largest parts go first, so that the threads end close together.
    std::vector<Part*> largestFirst;
    for (Part& part : parts) largestFirst.push_back(&part);
    std::stable_sort(largestFirst.begin(), largestFirst.end(),
                     [](const Part* a, const Part* b) { return a->region.size > b->region.size; });
    std::atomic<std::size_t> nextPart{0};
    onThreads(std::min(threads, static_cast<int>(parts.size())), [&](int) {
        for (std::size_t p = nextPart++; p < parts.size(); p = nextPart++) {
            Part& part = *largestFirst[p];
            part.subtree = layOutSubtree(part.composite, part.region);
            part.region.clearRest();
        }
    });

    // The unbounded primitives keep the order of a walk through the whole tree.
    auto nextSubtree = parts.begin();
    Subtree root = layOutUpper(hierarchy.root.index(), levels, nextSubtree);
    hierarchy.depth = root.depth;
    std::vector<Candidate> top = std::move(root.unbounded);
    if (root.node) top.push_back(*root.node);
    layOutTop(std::move(top));
}
