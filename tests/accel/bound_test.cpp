#include "accel/bound.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "model/fatal.h"
#include "model/globals.h"
#include "primitives/plane.h"
#include "primitives/sphere.h"
#include "test_support.h"

namespace {

class BoundTest : public SceneTest {};

std::vector<const ObjectRecord*> childrenOf(const ObjectRecord& composite) {
    std::vector<const ObjectRecord*> children;
    for (const ObjectRecord* c = composite.children->first; c != nullptr; c = c->next) {
        children.push_back(c);
    }
    return children;
}

// Checks the invariants of the subtree and collects its primitives and composites.
void walkTree(const ObjectRecord& node, std::vector<const ObjectRecord*>& leaves, int& composites) {
    if (node.kind != KIND_COMPOSITE) {
        leaves.push_back(&node);
        return;
    }
    ++composites;
    const auto children = childrenOf(node);
    ASSERT_GE(children.size(), 2u);
    ASSERT_LE(children.size(), 4u);
    EXPECT_EQ(node.children->count, static_cast<int>(children.size()));
    for (int i = 0; i < 3; ++i) {
        double lo = 1e300, hi = -1e300;
        for (const ObjectRecord* child : children) {
            lo = std::min(lo, child->slabMin[i]);
            hi = std::max(hi, child->slabMax[i]);
        }
        EXPECT_EQ(node.slabMin[i], lo);  // contains every child, and no more than that
        EXPECT_EQ(node.slabMax[i], hi);
    }
    for (const ObjectRecord* child : children) walkTree(*child, leaves, composites);
}

// Every primitive below the root exactly once, a sound tree, and nPrims counting both kinds.
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
        if (n == 1) {
            EXPECT_EQ(myObjectList, listed[0]);
        } else if (n <= 4) {
            EXPECT_EQ(childrenOf(*myObjectList), listed);  // grouped in their list order
        } else if (n == 5) {
            EXPECT_EQ(myObjectList->children->count, 2);
        }

        std::vector<const ObjectRecord*> leaves;
        int composites = 0;
        walkTree(*myObjectList, leaves, composites);
        std::sort(leaves.begin(), leaves.end());
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(leaves, listed);
        EXPECT_EQ(nPrims, n + composites);
        EXPECT_EQ(freeHierarchy(&myObjectList), n + composites);
    }
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

        const auto parts = childrenOf(*myObjectList);
        ASSERT_EQ(parts.size(), 2u);
        std::vector<const ObjectRecord*> first{parts[0]};
        if (parts[0]->kind == KIND_COMPOSITE) first = childrenOf(*parts[0]);
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
