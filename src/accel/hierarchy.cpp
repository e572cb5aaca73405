#include "accel/hierarchy.h"

#include <algorithm>
#include <vector>

#include "primitives/primitive.h"

Hierarchy myHierarchy;

namespace {

// A box being drawn around the children of a node as they are laid out.
struct TightBox {
    double lo[3] = {kUnbounded, kUnbounded, kUnbounded};
    double hi[3] = {-kUnbounded, -kUnbounded, -kUnbounded};

    void include(const double (&childLo)[3], const double (&childHi)[3]) {
        for (int i = 0; i < 3; ++i) {
            lo[i] = std::min(lo[i], childLo[i]);
            hi[i] = std::max(hi[i], childHi[i]);
        }
    }
};

// A primitive whose box reaches the unbounded extent on some axis: a plane.
bool isUnbounded(const ObjectRecord& primitive) {
    for (int i = 0; i < 3; ++i) {
        if (primitive.slabMin[i] <= -kUnbounded || primitive.slabMax[i] >= kUnbounded) return true;
    }
    return false;
}

// A node being filled, with the box that will bound it in its parent.
struct OpenNode {
    BoundNode node{};
    TightBox box;

    void add(NodeRef ref, const double (&lo)[3], const double (&hi)[3]) {
        const int k = node.count++;
        for (int i = 0; i < 3; ++i) {
            node.lo[i][k] = lo[i];
            node.hi[i][k] = hi[i];
        }
        node.child[k] = ref;
        box.include(lo, hi);
    }
};

// Stores a finished node and returns its slot in the nodes array.
NodeRef store(const OpenNode& open) {
    myHierarchy.nodes.push_back(open.node);
    return NodeRef::node(static_cast<std::uint32_t>(myHierarchy.nodes.size() - 1));
}

// Hangs the unbounded primitives, then the root's node, under the top: a chain of nodes when
// they do not fit one.
void layOutTop(const std::vector<const ObjectRecord*>& unbounded, const OpenNode* root) {
    struct Candidate {
        NodeRef ref;
        TightBox box;
    };
    std::vector<Candidate> candidates;
    for (const ObjectRecord* primitive : unbounded) {
        Candidate c{NodeRef::primitive(primitive), {}};
        c.box.include(primitive->slabMin, primitive->slabMax);
        candidates.push_back(c);
    }
    if (root != nullptr) candidates.push_back({store(*root), root->box});

    // Fill the chain from its end, so that every node but the last keeps its last slot for
    // the next node.
    OpenNode top;
    std::size_t end = candidates.size();
    int chain = 0;
    while (true) {
        ++chain;
        const std::size_t begin = end <= kNodeWidth ? 0 : end - (kNodeWidth - 1);
        OpenNode open;
        for (std::size_t n = begin; n < end; ++n) open.add(candidates[n].ref, candidates[n].box.lo, candidates[n].box.hi);
        if (top.node.count > 0) open.add(store(top), top.box.lo, top.box.hi);
        top = open;
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

void layOutHierarchy(const ObjectRecord& root) {
    myHierarchy = Hierarchy{};
    std::vector<const ObjectRecord*> unbounded;

    // Post-order without recursion: a degenerate tree can be deep. A frame lays out one
    // composite; when its children are done, its node goes to the array and its tight box to
    // its parent. A subtree that holds only unbounded primitives leaves no node at all.
    struct Frame {
        const ObjectRecord* nextChild;
        OpenNode open;
    };
    std::vector<Frame> frames;
    frames.push_back({root.children->first, {}});
    myHierarchy.composites = 1;
    myHierarchy.depth = 1;
    OpenNode finishedRoot;
    while (!frames.empty()) {
        Frame& frame = frames.back();
        if (frame.nextChild == nullptr) {
            const OpenNode finished = frame.open;
            frames.pop_back();
            if (frames.empty()) {
                finishedRoot = finished;
            } else if (finished.node.count > 0) {
                frames.back().open.add(store(finished), finished.box.lo, finished.box.hi);
            }
            continue;
        }
        const ObjectRecord& child = *frame.nextChild;
        frame.nextChild = child.next;
        if (child.kind == KIND_COMPOSITE) {
            frames.push_back({child.children->first, {}});
            ++myHierarchy.composites;
            myHierarchy.depth = std::max(myHierarchy.depth, static_cast<int>(frames.size()));
        } else if (isUnbounded(child)) {
            unbounded.push_back(&child);
        } else {
            frame.open.add(NodeRef::primitive(&child), child.slabMin, child.slabMax);
        }
    }
    layOutTop(unbounded, finishedRoot.node.count > 0 ? &finishedRoot : nullptr);
}
