#pragma once

#include <cstdint>
#include <vector>

#include "model/large_pages.h"
#include "model/records.h"

// The bounding hierarchy: the tree of composites that buildBoundingSlabs makes, and the same
// tree in the form the traversal reads. There, each node holds the slab boxes of its children
// side by side (all lows of an axis together), so that a few vector operations test them all.
// The boxes are single-precision, rounded outwards so that each still holds its child whole:
// the traversal only learns from them whether and in what order to open a child, and half the
// memory of the largest scenes is their hierarchy.
//
// A node's boxes are drawn tight around what can be hit below it. An unbounded primitive (a
// plane) would otherwise stretch the box of every composite above it to the whole scene, and
// every ray would open all of them; such primitives are instead hung at the top, next to the
// root, where they are the first candidates of every ray, as they are in the composite tree,
// whose boxes they span. The traversal still opens candidates nearest first and tests the
// primitives in the order of their own boxes.

// A child: a composite or a node, by index, or a primitive, by address.
// Trivially constructible, so that room for many can be had without touching it; NodeRef()
// is the null reference.
class NodeRef {
  public:
    NodeRef() = default;
    static NodeRef node(std::uint32_t index) { return NodeRef((std::uintptr_t{index} << 1) | 1); }
    static NodeRef primitive(const ObjectRecord* object) {
        // Records are at least 8-byte aligned, so the low bit is free for the tag.
        return NodeRef(reinterpret_cast<std::uintptr_t>(object));
    }

    bool isNull() const { return bits_ == 0; }
    bool isNode() const { return (bits_ & 1) != 0; }
    std::uint32_t index() const { return static_cast<std::uint32_t>(bits_ >> 1); }
    const ObjectRecord* primitive() const { return reinterpret_cast<const ObjectRecord*>(bits_); }

    bool operator==(const NodeRef&) const = default;

  private:
    explicit NodeRef(std::uintptr_t bits) : bits_(bits) {}
    std::uintptr_t bits_;
};

constexpr int kNodeWidth = 4;  // the most children a composite has

// A composite of the tree: two to `bunching` children, in the order of its children chain.
struct Composite {
    NodeRef child[kNodeWidth];
    int count;
    std::uint32_t composites;  // in its subtree, itself included
};

// Two cache lines: the boxes, then the children.
struct alignas(64) BoundNode {
    // lo[axis][k] and hi[axis][k] bound child k along the axis. The slots after the last
    // child are null. (A place of the array that no composite needed holds no child at all.)
    float lo[3][kNodeWidth];
    float hi[3][kNodeWidth];
    NodeRef child[kNodeWidth];

    int count() const {
        if (!child[3].isNull()) return 4;
        if (!child[2].isNull()) return 3;
        if (!child[1].isNull()) return 2;
        return child[0].isNull() ? 0 : 1;
    }
};

struct Hierarchy {
    LargePageVectorForOverwrite<Composite> composites;
    NodeRef root;  // a composite, or the one primitive of the scene; null before the build

    LargePageVectorForOverwrite<BoundNode> nodes;
    std::uint32_t top = 0;  // the node traversals start from: the unbounded primitives and the root
    int depth = 0;          // composites on the tree's longest path from the root to a primitive
    // The most nodes a depth-first walk from the top can have waiting at once.
    std::size_t maxPending = 0;
};

// Built by buildBoundingSlabs; empty until then and after freeHierarchy.
extern Hierarchy myHierarchy;

// Lays the composite tree of myHierarchy out for the traversal, on up to `threads` threads.
void layOutHierarchy(int threads);
