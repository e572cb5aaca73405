#include "accel/bound.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "accel/hierarchy.h"
#include "model/fatal.h"
#include "model/globals.h"
#include "primitives/plane.h"
#include "primitives/sphere.h"
#include "test_support.h"

namespace {

class BoundTest : public SceneTest {};

std::vector<NodeRef> childrenOf(NodeRef composite) {
    const Composite& c = myHierarchy.composites[composite.index()];
    return {c.child, c.child + c.count};
}

// The primitives among the refs, in order.
std::vector<const ObjectRecord*> primitivesOf(const std::vector<NodeRef>& refs) {
    std::vector<const ObjectRecord*> primitives;
    for (const NodeRef ref : refs) {
        if (!ref.isNode()) primitives.push_back(ref.primitive());
    }
    return primitives;
}

// Checks the shape of the subtree, and the count of composites in it that each keeps, and
// collects its primitives and composites.
void walkTree(NodeRef node, std::vector<const ObjectRecord*>& leaves, int& composites) {
    if (!node.isNode()) {
        leaves.push_back(node.primitive());
        return;
    }
    const int before = composites++;
    const auto children = childrenOf(node);
    ASSERT_GE(children.size(), 2u);
    ASSERT_LE(children.size(), 4u);
    for (const NodeRef child : children) walkTree(child, leaves, composites);
    EXPECT_EQ(myHierarchy.composites[node.index()].composites,
              static_cast<std::uint32_t>(composites - before));
}

// Every box of the traversal's layout holds its child whole: a primitive's own extents, or
// every box of the node below it.
void expectBoxesHoldTheirChildren() {
    const auto& nodes = myHierarchy.nodes;
    for (const BoundNode& node : nodes) {
        for (int k = 0; k < node.count(); ++k) {
            for (int i = 0; i < 3; ++i) {
                if (node.child[k].isNode()) {
                    const BoundNode& below = nodes[node.child[k].index()];
                    for (int j = 0; j < below.count(); ++j) {
                        EXPECT_LE(node.lo[i][k], below.lo[i][j]);
                        EXPECT_GE(node.hi[i][k], below.hi[i][j]);
                    }
                } else {
                    const SlabBox box = slabsOf(*node.child[k].primitive());
                    EXPECT_LE(node.lo[i][k], box.slabMin[i]);
                    EXPECT_GE(node.hi[i][k], box.slabMax[i]);
                }
            }
        }
    }
}

// Every primitive below the root exactly once, a sound tree, nPrims counting both kinds, and
// a layout that bounds what it holds.
TEST_F(BoundTest, TreeHoldsEveryPrimitiveOnce) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> coordinate(-50, 50);
    for (int n : {0, 1, 2, 3, 4, 5, 6, 17, 64, 301}) {
        SCOPED_TRACE("primitives: " + std::to_string(n));
        resetScene();
        for (int i = 0; i < n; ++i) {
            if (i % 50 == 7) {
                makePlane(0, 1, 0, coordinate(rng));  // unbounded
            } else {
                makeSphere(coordinate(rng), coordinate(rng), coordinate(rng), 1);
            }
        }
        std::vector<const ObjectRecord*> listed;
        for (const ObjectRecord* o = myObjectList; o != nullptr; o = o->next) listed.push_back(o);

        EXPECT_EQ(buildBoundingSlabs(), 0);
        if (n == 0) {
            EXPECT_EQ(myObjectList, nullptr);
            continue;
        }
        ASSERT_NE(myObjectList, nullptr);
        EXPECT_EQ(myObjectList->next, nullptr);
        const NodeRef root = myHierarchy.root;
        if (n == 1) {
            EXPECT_EQ(myObjectList, listed[0]);
            EXPECT_FALSE(root.isNode());
        } else {
            EXPECT_EQ(myObjectList->kind, KIND_COMPOSITE);
            if (n <= 4) {
                // Grouped in their list order.
                EXPECT_EQ(primitivesOf(childrenOf(root)), listed);
            } else if (n == 5) {
                EXPECT_EQ(childrenOf(root).size(), 2u);
            }
        }

        std::vector<const ObjectRecord*> leaves;
        int composites = 0;
        walkTree(root, leaves, composites);
        std::sort(leaves.begin(), leaves.end());
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(leaves, listed);
        EXPECT_EQ(nPrims, n + composites);
        expectBoxesHoldTheirChildren();
        EXPECT_EQ(freeHierarchy(&myObjectList), n + composites);
    }
}

// The traversal's layout as a walk from the top node meets it: each node's child count,
// then each child's box and, for a primitive, the order it was made in.
std::vector<double> layoutWalk(const std::unordered_map<const ObjectRecord*, int>& made) {
    std::vector<double> walk{static_cast<double>(myHierarchy.depth),
                             static_cast<double>(myHierarchy.maxPending)};
    std::vector<std::uint32_t> pending{myHierarchy.top};
    while (!pending.empty()) {
        const BoundNode& node = myHierarchy.nodes[pending.back()];
        pending.pop_back();
        walk.push_back(-node.count());
        for (int k = 0; k < node.count(); ++k) {
            for (int i = 0; i < 3; ++i) walk.insert(walk.end(), {node.lo[i][k], node.hi[i][k]});
            if (node.child[k].isNode()) {
                pending.push_back(node.child[k].index());
            } else {
                walk.push_back(made.at(node.child[k].primitive()));
            }
        }
    }
    return walk;
}

// A scene large enough to be built on several threads, and planes here and there, which the
// layout hangs above the root.
struct Shapes {
    // The order in which a depth-first walk meets the primitives (by the order they were
    // made) and composites (as -1).
    std::vector<int> tree;
    std::vector<double> layout;
};

Shapes shapesBuilt(int objects, int threads) {
    resetScene();
    multiThreaded = threads > 1;
    numThreads = threads;
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> coordinate(-100, 100);
    std::unordered_map<const ObjectRecord*, int> made;
    for (int i = 0; i < objects; ++i) {
        ObjectRecord* object =
            i % 4999 == 17 ? makePlane(0, 0, 1, coordinate(rng))
                           : makeSphere(coordinate(rng), coordinate(rng), coordinate(rng), 0.5);
        made[object] = i;
    }
    EXPECT_EQ(buildBoundingSlabs(), 0);
    Shapes shapes;
    std::vector<NodeRef> pending{myHierarchy.root};
    while (!pending.empty()) {
        const NodeRef ref = pending.back();
        pending.pop_back();
        if (!ref.isNode()) {
            shapes.tree.push_back(made.at(ref.primitive()));
            continue;
        }
        shapes.tree.push_back(-1);
        EXPECT_LT(ref.index(), myHierarchy.composites.size());
        const auto children = childrenOf(ref);
        EXPECT_GE(children.size(), 2u);
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    EXPECT_EQ(static_cast<std::size_t>(std::count(shapes.tree.begin(), shapes.tree.end(), -1)),
              myHierarchy.composites.size());
    shapes.layout = layoutWalk(made);
    return shapes;
}

// Threads build their parts of the tree side by side and store its composites wherever they
// find room, then lay parts of it out side by side; the tree and the layout are the ones a
// single thread makes, but for the places of the nodes.
TEST_F(BoundTest, ThreadsBuildTheTreeOneThreadBuilds) {
    constexpr int kObjects = 70000;  // enough for the first splits to go to other threads
    const Shapes alone = shapesBuilt(kObjects, 1);
    ASSERT_EQ(alone.tree.size(), kObjects + myHierarchy.composites.size());
    for (const int threads : {2, 3, 8}) {
        const Shapes shared = shapesBuilt(kObjects, threads);
        EXPECT_EQ(shared.tree, alone.tree) << threads << " threads";
        EXPECT_EQ(shared.layout, alone.layout) << threads << " threads";
    }
    multiThreaded = false;
}

// Five unit spheres are split in two parts, the part at or above the split value first:
// `parts` gives each sphere's part, 'a' for the first and 'b' for the second, in the order
// the spheres were made.
TEST_F(BoundTest, SplitsAtTheMeanOfTheWidestAxis) {
    struct Case {
        const char* what;
        Vector3 centres[5];
        const char* parts;
    };
    const Case cases[] = {
        {"equal spreads: x wins over y",
         {{0, 0, 0}, {0, 4, 0}, {0, 4, 0}, {4, 0, 0}, {4, 4, 0}},
         "bbbaa"},
        {"y spread wider than x", {{0, 0, 0}, {0, 6, 0}, {0, 6, 0}, {4, 0, 0}, {4, 6, 0}}, "baaba"},
        {"z spread widest", {{0, 0, 0}, {0, 0, 6}, {0, 0, 6}, {1, 0, 0}, {1, 0, 6}}, "baaba"},
        {"a centre at the mean goes above",
         {{0, 0, 0}, {0, 0, 0}, {2, 0, 0}, {4, 0, 0}, {4, 0, 0}},
         "bbaaa"},
        {"the mean, not the middle of the range",
         {{0, 0, 0}, {6, 0, 0}, {9, 0, 0}, {10, 0, 0}, {10, 0, 0}},
         "bbaaa"},
        // Every key equals the mean: all land above, in the order made (the list runs the
        // other way), and the first two are handed back below.
        {"equal centres", {{1, 2, 3}, {1, 2, 3}, {1, 2, 3}, {1, 2, 3}, {1, 2, 3}}, "bbaaa"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        resetScene();
        std::vector<const ObjectRecord*> spheres;
        for (const Vector3& p : c.centres) spheres.push_back(makeSphere(p.x, p.y, p.z, 1));
        buildBoundingSlabs();

        const auto parts = childrenOf(myHierarchy.root);
        ASSERT_EQ(parts.size(), 2u);
        std::vector<const ObjectRecord*> first = primitivesOf({parts[0]});
        if (parts[0].isNode()) first = primitivesOf(childrenOf(parts[0]));
        std::string found;
        for (const ObjectRecord* sphere : spheres) {
            found += std::find(first.begin(), first.end(), sphere) != first.end() ? 'a' : 'b';
        }
        EXPECT_EQ(found, c.parts);
    }
}

TEST_F(BoundTest, ListShorterThanTheCountEndsTheRun) {
    for (int i = 0; i < 5; ++i) makeSphere(i, 0, 0, 1);
    nPrims = 7;
    testing::internal::CaptureStderr();
    try {
        buildBoundingSlabs();
        ADD_FAILURE() << "the build accepted a short list";
    } catch (const ProgramExit& exit) {
        EXPECT_EQ(exit.status(), 1);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "NULL top in FindAxis, count = 1\n");
}

TEST_F(BoundTest, FreeHierarchyReleasesAFlatListToo) {
    for (int i = 0; i < 3; ++i) makeSphere(i, 0, 0, 1);
    EXPECT_EQ(freeHierarchy(&myObjectList), 3);
    EXPECT_EQ(myObjectList, nullptr);
}

}  // namespace
