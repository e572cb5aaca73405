#include "accel/intersec.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "accel/bound.h"
#include "model/fatal.h"
#include "model/globals.h"
#include "primitives/plane.h"
#include "primitives/primitive.h"
#include "primitives/sphere.h"
#include "test_support.h"

namespace {

// Primitives of the scripted kind below, in the order the traversal tested them.
std::vector<const ObjectRecord*> tested;

// When set, the next scripted test first runs, on another thread, a whole traversal of the
// scene that skips this primitive.
const ObjectRecord* interruptExcluding = nullptr;

class IntersectTest : public testing::Test {
  protected:
    void SetUp() override {
        resetScene();
        tested.clear();
        interruptExcluding = nullptr;
    }
    void TearDown() override {
        freeHierarchy(&myObjectList);
        resetScene();
    }

    int nearest(const Ray& ray, double maxDistance, HitRecord& hit, const ObjectRecord* excluded) {
        return intersect(ray, maxDistance, hit, excluded, traversal);
    }

    Traversal traversal;
};

Ray rayAlong(Vector3 origin, Vector3 direction) {
    VecNorm(direction);
    return {origin, direction};
}

// A stand-in primitive that records when it is tested and always reports a hit at the
// distance kept in its radius, wherever its slab box is: it lets a test set box entry
// distances and hit distances independently.
int scriptedIntersect(const ObjectRecord& object, const Ray& ray, HitRecord& hit) {
    tested.push_back(&object);
    if (const ObjectRecord* excluded = std::exchange(interruptExcluding, nullptr)) {
        std::thread([&] {
            HitRecord other{};
            Traversal own;
            intersect(ray, 1e10, other, excluded, own);
        }).join();
    }
    hit = {dataOf<SphereData>(object).radius, 1, &object};
    return 1;
}

// Its box spans x and y from -1 to 1 and z from boxStart to boxStart + 1.
ObjectRecord* makeScripted(double boxStart, double hitDistance) {
    Shape<SphereData>* object =
        newPrimitive<SphereData>(KIND_SPHERE, scriptedIntersect, nullptr, nullptr);
    object->data.radius = hitDistance;
    for (int i = 0; i < 3; ++i) {
        object->data.slabs.slabMin[i] = i == 2 ? boxStart : -1;
        object->data.slabs.slabMax[i] = i == 2 ? boxStart + 1 : 1;
    }
    addPrimitive(object);
    return object;
}

TEST_F(IntersectTest, EmptySceneHasNoHit) {
    buildBoundingSlabs();
    HitRecord hit{7, 1, nullptr};
    EXPECT_EQ(nearest(rayAlong({0, 0, 0}, {0, 0, 1}), 1e10, hit, nullptr), 0);
    EXPECT_EQ(hit.distance, 7);
}

TEST_F(IntersectTest, OnePrimitiveIgnoresBoundAndExclusion) {
    const ObjectRecord* sphere = makeSphere(0, 0, 0, 1);
    buildBoundingSlabs();
    HitRecord hit{};
    ASSERT_EQ(nearest(rayAlong({0, 0, -5}, {0, 0, 1}), 1, hit, sphere), 1);
    EXPECT_EQ(hit.distance, 4);
    EXPECT_EQ(hit.object, sphere);
}

// Two unit spheres on the z axis, at z = 0 and z = 5, seen from z = -5.
TEST_F(IntersectTest, BoundAndExclusionInAComposite) {
    struct Case {
        const char* what;
        double maxDistance;
        bool excludeNear;
        int result;
        double distance;
    };
    const Case cases[] = {
        {"nearest of the two", 1e10, false, 1, 4},
        {"hit exactly at the bound is not reported", 4, false, 0, 0},
        {"hit just inside the bound", 4.000001, false, 1, 4},
        {"box beyond the bound", 3, false, 0, 0},
        {"excluded sphere is never tested", 1e10, true, 1, 9},
        {"excluded sphere, far one beyond the bound", 9, true, 0, 0},
    };
    const ObjectRecord* nearSphere = makeSphere(0, 0, 0, 1);
    makeSphere(0, 0, 5, 1);
    buildBoundingSlabs();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HitRecord hit{-1, -1, nullptr};
        EXPECT_EQ(nearest(rayAlong({0, 0, -5}, {0, 0, 1}), c.maxDistance, hit,
                          c.excludeNear ? nearSphere : nullptr),
                  c.result);
        EXPECT_EQ(hit.distance, c.result ? c.distance : -1);  // untouched on a miss
    }
}

TEST_F(IntersectTest, TiesAndEqualKeys) {
    // Same box, same distance: whichever is tested first keeps the hit.
    makeScripted(2, 3);
    makeScripted(2, 3);
    buildBoundingSlabs();
    HitRecord hit{};
    ASSERT_EQ(nearest(rayAlong({0, 0, 0}, {0, 0, 1}), 1e10, hit, nullptr), 1);
    ASSERT_EQ(tested.size(), 2u);
    EXPECT_EQ(hit.object, tested[0]);

    // A box entered exactly at the best distance is still opened; one beyond it is not.
    for (double laterBox : {4.0, 4.5}) {
        freeHierarchy(&myObjectList);
        resetScene();
        tested.clear();
        const ObjectRecord* first = makeScripted(1, 4);
        const ObjectRecord* later = makeScripted(laterBox, 3.5);
        buildBoundingSlabs();
        ASSERT_EQ(nearest(rayAlong({0, 0, 0}, {0, 0, 1}), 1e10, hit, nullptr), 1);
        EXPECT_EQ(hit.object, laterBox == 4 ? later : first) << laterBox;
        EXPECT_EQ(tested.size(), laterBox == 4 ? 2u : 1u) << laterBox;
    }
}

// The box [0, 1]³ against rays given by origin and direction.
TEST_F(IntersectTest, SlabBoxTest) {
    struct Case {
        const char* what;
        Vector3 origin, direction;
        double maxDistance;
        bool entered;
        double key;
    };
    const Case cases[] = {
        {"ahead", {-5, 0.5, 0.5}, {1, 0, 0}, 1e10, true, 5},
        {"ahead, going backwards", {6, 0.5, 0.5}, {-1, 0, 0}, 1e10, true, 5},
        {"zero component never rejects", {-5, 3, -7}, {1, 0, 0}, 1e10, true, 5},
        {"component too small for its reciprocal", {-5, 0.5, 0.5}, {1, 1e-310, 0}, 1e10, true, 5},
        {"tiny component, origin outside on it", {-5, 3, 0.5}, {1, -1e-310, 0}, 1e10, false, 0},
        {"origin inside: negative key", {0.25, 0.5, 0.5}, {1, 0, 0}, 1e10, true, -0.25},
        {"no direction at all", {9, 9, 9}, {0, 0, 0}, 1e10, true, -1e10},
        {"missed", {-5, 3, 0.5}, {0.6, 0.8, 0}, 1e10, false, 0},
        {"behind the origin", {5, 0.5, 0.5}, {1, 0, 0}, 1e10, false, 0},
        {"ends within the tolerance", {0.9995, 0.5, 0.5}, {1, 0, 0}, 1e10, false, 0},
        {"ends just beyond the tolerance", {0.998, 0.5, 0.5}, {1, 0, 0}, 1e10, true, -0.998},
        {"starts beyond maxDistance", {-5, 0.5, 0.5}, {1, 0, 0}, 4.9, false, 0},
    };
    // The same box in every slot: each lane of the test must decide alike.
    BoundNode node{};
    ObjectRecord boxes[kNodeWidth]{};
    for (int k = 0; k < kNodeWidth; ++k) {
        for (int i = 0; i < 3; ++i) node.hi[i][k] = 1;
    }
    for (const Case& c : cases) {
        for (int count = 1; count <= kNodeWidth * 3; ++count) {
            // Every count of children, with one lane, then two, then four.
            const int lanes = setBoxTestLanes(1 << ((count - 1) / kNodeWidth));
            SCOPED_TRACE(testing::Message() << c.what << ", " << count << " children");
            const int children = (count - 1) % kNodeWidth + 1;
            for (int k = 0; k < kNodeWidth; ++k) {
                node.child[k] = k < children ? NodeRef::primitive(&boxes[k]) : NodeRef();
            }
            TraversalQueue queue;
            const QueueEntry nearest = checkAndEnqueue(node, SlabRay({c.origin, c.direction}),
                                                       c.maxDistance, nullptr, queue);
            // The first child is held back as the nearest; the others are queued.
            ASSERT_EQ(!nearest.ref.isNull(), c.entered);
            ASSERT_EQ(queue.count, c.entered ? children - 1 : 0) << lanes << " lanes";
            if (!c.entered) continue;
            EXPECT_EQ(nearest.ref.primitive(), &boxes[0]);
            EXPECT_DOUBLE_EQ(nearest.key, c.key);
            while (queue.count > 0) EXPECT_DOUBLE_EQ(priorityQueueDelete(queue).key, c.key);
        }
    }
    setBoxTestLanes(4);
}

// The blocker a shadow ray leaves as its hint answers the next one only where the walk would
// have found it; a hint naming nothing, or another scene's node, is passed over.
TEST_F(IntersectTest, BlockerHintNeverChangesTheAnswer) {
    for (int i = 0; i < 40; ++i) makeSphere(0, 0, 3.0 * i, 1);
    const ObjectRecord* plane = makePlane(0, 0, -1, 100);  // z = -100, seen from above
    buildBoundingSlabs();
    const Ray up = rayAlong({0, 0, 10}, {0, 0, 1});
    BlockerHint hint;
    ASSERT_TRUE(occluded(up, 1e10, nullptr, traversal, hint));
    ASSERT_NE(hint.node, BlockerHint::kNone);
    const BlockerHint found = hint;

    const struct {
        const char* what;
        Ray ray;
        double maxDistance;
        bool occluded;
    } cases[] = {
        {"the same ray", up, 1e10, true},
        {"stopped short of every sphere", rayAlong({0, 0, 10.5}, {0, 0, 1}), 0.4, false},
        {"beside every sphere", rayAlong({5, 0, 10}, {0, 0, 1}), 1e10, false},
        {"down to the plane only", rayAlong({5, 0, 10}, {0, 0, -1}), 1e10, true},
    };
    const BlockerHint hints[] = {found, {}, {found.node, 3}, {found.node, 9}, {123456, 0}};
    for (const auto& c : cases) {
        for (const BlockerHint& start : hints) {
            SCOPED_TRACE(testing::Message() << c.what << ", hint " << start.node << "/" << start.slot);
            hint = start;
            EXPECT_EQ(occluded(c.ray, c.maxDistance, nullptr, traversal, hint), c.occluded);
        }
    }
    // The plane is the only thing below: excluded, nothing stops the ray, whatever the hint.
    hint = found;
    EXPECT_FALSE(occluded(rayAlong({5, 0, 10}, {0, 0, -1}), 1e10, plane, traversal, hint));
}

TEST_F(IntersectTest, QueueGrowsPastItsStartingSize) {
    for (int i = 0; i < 40; ++i) makeSphere(0, 0, 3.0 * i, 1);
    buildBoundingSlabs();
    iPQSize = 2;  // room for one entry: the root's children cannot all be queued
    Traversal small;
    HitRecord hit{};
    ASSERT_EQ(intersect(rayAlong({0, 0, -5}, {0, 0, 1}), 1e10, hit, nullptr, small), 1);
    EXPECT_EQ(hit.distance, 4);
    EXPECT_GT(small.queue.highWaterMark, 1);
}

// Random spheres and planes, random rays, bounds and exclusions: the hierarchy must find what
// testing every primitive finds.
TEST_F(IntersectTest, MatchesTestingEveryPrimitive) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> coordinate(-10, 10);
    std::vector<const ObjectRecord*> primitives;
    for (int i = 0; i < 300; ++i) {
        primitives.push_back(makeSphere(coordinate(rng), coordinate(rng), coordinate(rng),
                                        0.2 + std::abs(coordinate(rng)) / 10));
    }
    // Enough planes that the unbounded primitives at the top take a chain of nodes.
    for (int i = 0; i < 9; ++i) {
        primitives.push_back(makePlane(coordinate(rng), coordinate(rng), coordinate(rng), 12));
    }
    buildBoundingSlabs();

    struct Query {
        Ray ray;
        double maxDistance;
        const ObjectRecord* excluded;
        int result;  // what testing every primitive finds
        HitRecord hit;
    };
    std::vector<Query> queries;
    int hitCount = 0;
    for (int i = 0; i < 400; ++i) {
        Query q{rayAlong({coordinate(rng), coordinate(rng), coordinate(rng)},
                         {coordinate(rng), coordinate(rng), coordinate(rng)}),
                i % 2 ? 1e10 : 1 + std::abs(coordinate(rng)),
                i % 3 ? nullptr : primitives[rng() % primitives.size()],
                0,
                {}};
        q.hit.distance = q.maxDistance;
        for (const ObjectRecord* p : primitives) {
            HitRecord h{};
            if (p != q.excluded && p->intersectFn(*p, q.ray, h) && h.distance < q.hit.distance) {
                q.result = 1;
                q.hit = h;
            }
        }
        hitCount += q.result;
        queries.push_back(q);
    }
    EXPECT_GT(hitCount, 100);  // the rays must exercise the search, not miss everything

    // One box at a time, two, and four where the processor can: all must find the same.
    BlockerHint hint;
    for (int lanes : {1, 2, 4}) {
        SCOPED_TRACE(testing::Message() << setBoxTestLanes(lanes) << " lanes");
        for (const Query& q : queries) {
            // A shadow ray asks only whether anything lies in the way.
            // The hint is left by earlier queries: whatever it names, the answer is the same.
            ASSERT_EQ(occluded(q.ray, q.maxDistance, q.excluded, traversal, hint), q.result == 1);
            HitRecord hit{};
            ASSERT_EQ(nearest(q.ray, q.maxDistance, hit, q.excluded), q.result);
            if (q.result == 0) continue;
            EXPECT_EQ(hit.distance, q.hit.distance);
            EXPECT_EQ(hit.object, q.hit.object);
        }
    }
    setBoxTestLanes(4);
}

// Another thread's whole traversal, run while this one still has a candidate queued, must
// leave that candidate alone.
TEST_F(IntersectTest, ThreadsKeepTheirOwnQueues) {
    makeScripted(1, 10);
    const ObjectRecord* far = makeScripted(3, 3.5);
    buildBoundingSlabs();
    interruptExcluding = far;
    HitRecord hit{};
    ASSERT_EQ(nearest(rayAlong({0, 0, 0}, {0, 0, 1}), 1e10, hit, nullptr), 1);
    EXPECT_EQ(hit.object, far);
}

}  // namespace
