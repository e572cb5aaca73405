#include "primitives/ring.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "accel/bound.h"
#include "accel/intersec.h"
#include "model/globals.h"
#include "primitives/sphere.h"
#include "test_support.h"

namespace {

class RingTest : public SceneTest {};

struct RingRay {
    const char* what;
    const ObjectRecord* ring;
    Vector3 origin;
    Vector3 direction;  // unit length
    bool hits;
    double distance;
    Vector3 normal;  // what ringNormal returns at the hit
};

void checkRays(const RingRay* begin, const RingRay* end) {
    for (const RingRay* c = begin; c != end; ++c) {
        SCOPED_TRACE(c->what);
        HitRecord hit{};
        ASSERT_EQ(c->ring->intersectFn(*c->ring, {c->origin, c->direction}, hit), c->hits ? 1 : 0);
        if (!c->hits) continue;
        EXPECT_NEAR(hit.distance, c->distance, 1e-12);
        EXPECT_EQ(hit.entering, 1);
        EXPECT_EQ(hit.object, c->ring);
        const Vector3 point = c->origin + hit.distance * c->direction;
        expectVectorNear(c->ring->normalFn(*c->ring, point), c->normal, 1e-15);
    }
}

TEST_F(RingTest, DiscAndRingAcrossTheirFacesRimsAndHole) {
    const ObjectRecord* disc = makeRing(0, 0, 0, 0, 1, 0, 0, 2);
    const ObjectRecord* ring = makeRing(0, 0, 0, 0, 1, 0, 1, 2);
    const Vector3 down{0, -1, 0};
    const Vector3 up{0, 1, 0};
    const Vector3 n{0, 1, 0};
    const double h = std::numbers::sqrt2 / 2;
    const RingRay cases[] = {
        {"disc from above", disc, {1, 5, 0}, down, true, 5, n},
        {"disc from below: both faces are hit", disc, {1, -5, 0}, up, true, 5, n},
        {"disc at its centre", disc, {0, 5, 0}, down, true, 5, n},
        {"disc on its rim", disc, {2, 5, 0}, down, true, 5, n},
        {"disc just outside its rim", disc, {2.001, 5, 0}, down, false, 0, n},
        {"disc obliquely", disc, {0, 5, -5}, {0, -h, h}, true, 5 * std::numbers::sqrt2, n},
        {"disc behind the origin", disc, {1, 5, 0}, up, false, 0, n},
        {"parallel above the disc", disc, {-5, 1, 0}, {1, 0, 0}, false, 0, n},
        {"parallel inside the disc's plane", disc, {-5, 0, 0}, {1, 0, 0}, false, 0, n},
        {"starting on the disc", disc, {1, 0, 0}, down, false, 0, n},
        {"0.0005 from the disc", disc, {1, 0.0005, 0}, down, false, 0, n},
        {"exactly 0.001 from the disc", disc, {1, 0.001, 0}, down, true, 0.001, n},
        {"0.0015 from the disc", disc, {1, -0.0015, 0}, up, true, 0.0015, n},
        {"ring in its hole", ring, {0.5, 5, 0}, down, false, 0, n},
        {"ring at its centre", ring, {0, 5, 0}, down, false, 0, n},
        {"ring just inside its inner circle", ring, {0, 5, 0.999}, down, false, 0, n},
        {"ring on its inner circle", ring, {1, 5, 0}, down, true, 5, n},
        {"ring between its circles", ring, {1.5, 5, 0}, down, true, 5, n},
        {"ring on its outer circle", ring, {0, 5, -2}, down, true, 5, n},
        {"ring from below", ring, {-1.5, -5, 0}, up, true, 5, n},
        {"ring obliquely through its hole", ring, {0, 5, -5}, {0, -h, h}, false, 0, n},
    };
    checkRays(std::begin(cases), std::end(cases));
}

TEST_F(RingTest, TiltedAndNonUnitNormals) {
    // A disc tilted about x: its plane holds (1, 0, 0) and (0, 0.8, -0.6).
    const Vector3 tilt{0, 0.6, 0.8};
    const ObjectRecord* tilted = makeRing(0, 0, 0, 0, 0.6, 0.8, 0, 1);
    // The same disc given a normal five times too long, and a ring given a long normal that
    // points down; the distances do not change and the normals come back unit.
    const ObjectRecord* longTilted = makeRing(0, 0, 0, 0, 3, 4, 0, 1);
    const ObjectRecord* ring = makeRing(1, 2, 3, 0, 0, -7, 0.5, 1);

    const Vector3 rim{0, 0.8, -0.6};
    const Vector3 nearRim = 0.999 * rim;
    const Vector3 pastRim = 1.001 * rim;
    const RingRay cases[] = {
        {"tilted, inside the rim", tilted, nearRim + 5 * tilt, -tilt, true, 5, tilt},
        {"tilted, just past the rim", tilted, pastRim + 5 * tilt, -tilt, false, 0, tilt},
        {"tilted, from behind", tilted, {0.5, 0, -4}, {0, 0, 1}, true, 4, tilt},
        {"long normal, inside the rim", longTilted, nearRim - 2 * tilt, tilt, true, 2, tilt},
        {"long normal, past the rim", longTilted, pastRim - 2 * tilt, tilt, false, 0, tilt},
        {"long normal down, in the ring", ring, {1.75, 2, 10}, {0, 0, -1}, true, 7, {0, 0, -1}},
        {"long normal down, in the hole", ring, {1.25, 2, 10}, {0, 0, -1}, false, 0, {0, 0, -1}},
    };
    checkRays(std::begin(cases), std::end(cases));
}

struct RingSlabs {
    const char* what;
    Vector3 center;
    Vector3 normal;
    double outerRadius;
    double min[3];
    double max[3];
};

TEST_F(RingTest, SlabsAreTheOuterCircleExtents) {
    const double third = std::sqrt(2.0 / 3.0);
    const RingSlabs cases[] = {
        {"flat disc", {0, 0, 0}, {0, 1, 0}, 2, {-2, 0, -2}, {2, 0, 2}},
        {"tilted disc", {0, 0, 0}, {0, 0.6, 0.8}, 1, {-1, -0.8, -0.6}, {1, 0.8, 0.6}},
        {"tilted disc, long normal", {0, 0, 0}, {0, 3, 4}, 1, {-1, -0.8, -0.6}, {1, 0.8, 0.6}},
        {"off-centre, long normal down", {1, 2, 3}, {0, 0, -5}, 1.5, {-0.5, 0.5, 3}, {2.5, 3.5, 3}},
        {"diagonal normal",
         {1, 0, 0},
         {-2, 2, 2},
         1,
         {1 - third, -third, -third},
         {1 + third, third, third}},
    };
    for (const RingSlabs& c : cases) {
        SCOPED_TRACE(c.what);
        const ObjectRecord* ring = makeRing(c.center.x, c.center.y, c.center.z, c.normal.x,
                                            c.normal.y, c.normal.z, 0.5, c.outerRadius);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(slabsOf(*ring).slabMin[i], c.min[i], 1e-12) << "axis " << i;
            EXPECT_NEAR(slabsOf(*ring).slabMax[i], c.max[i], 1e-12) << "axis " << i;
        }
    }
}

// Normals so short or so long that their squared length underflows or overflows still come
// out unit, with the slabs and hits of the unit normal.
TEST_F(RingTest, ExtremeNormalLengthsStillGiveTheUnitNormal) {
    const double h = std::numbers::sqrt2 / 2;
    const struct {
        Vector3 given;
        Vector3 unitNormal;
    } cases[] = {
        {{0, 3e-161, 0}, {0, 1, 0}},
        {{1e-200, 0, -1e-200}, {h, 0, -h}},
        {{0, 1e200, 1e200}, {0, h, h}},
        {{0, 0, -1e300}, {0, 0, -1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.given.x << " " << c.given.y << " " << c.given.z);
        const ObjectRecord* given = makeRing(1, 2, 3, c.given.x, c.given.y, c.given.z, 0.5, 2);
        const ObjectRecord* reference =
            makeRing(1, 2, 3, c.unitNormal.x, c.unitNormal.y, c.unitNormal.z, 0.5, 2);
        expectVectorNear(given->normalFn(*given, {1, 2, 3}), c.unitNormal, 1e-15);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(slabsOf(*given).slabMin[i], slabsOf(*reference).slabMin[i], 1e-12)
                << "axis " << i;
            EXPECT_NEAR(slabsOf(*given).slabMax[i], slabsOf(*reference).slabMax[i], 1e-12)
                << "axis " << i;
        }
        // 1.5 from the centre, along the normal from 4 away.
        const Vector3 inPlane = unit(cross(c.unitNormal, {1, 1, 1}));
        const Vector3 target = Vector3{1, 2, 3} + 1.5 * inPlane;
        HitRecord hit{};
        ASSERT_EQ(given->intersectFn(*given, {target + 4 * c.unitNormal, -c.unitNormal}, hit), 1);
        EXPECT_NEAR(hit.distance, 4, 1e-12);
    }
}

// A tilted disc given a long normal must still be found through the slab hierarchy, also
// where it lies far from its centre along y and z.
TEST_F(RingTest, TiltedDiscWithALongNormalIsFoundThroughTheHierarchy) {
    for (int i = 0; i < 8; ++i) makeSphere(10.0 * i - 40, 20, 0, 1);
    const ObjectRecord* disc = makeRing(3, 0, -2, 0, 3, 4, 0, 1.5);
    ASSERT_EQ(buildBoundingSlabs(), 0);

    // Aim obliquely (the traversal ignores the slabs a ray runs parallel to) at a point 1.2
    // from the centre along (0, 0.8, -0.6), in the disc's plane.
    const Vector3 target{3, 0.96, -2.72};
    const Vector3 direction = unit({0.3, 0.4, 1});
    HitRecord hit{};
    Traversal traversal;
    ASSERT_EQ(intersect({target - 8 * direction, direction}, 1e10, hit, nullptr, traversal), 1);
    EXPECT_EQ(hit.object, disc);
    EXPECT_NEAR(hit.distance, 8, 1e-9);
}

TEST_F(RingTest, ConstructorStoresAndListsTheRing) {
    const ObjectRecord* first = makeRing(0, 0, 0, 0, 1, 0, 0, 1);
    const ObjectRecord* second = makeRing(1, 2, 3, 0, 0, 2, 0.5, 1.5);
    EXPECT_EQ(nPrims, 2);
    EXPECT_EQ(myObjectList, second);
    EXPECT_EQ(second->next, first);
    EXPECT_EQ(second->kind, KIND_RING);

    const RingData& ring = dataOf<RingData>(*second);
    expectVectorNear(ring.normal, {0, 0, 1}, 0);
    EXPECT_EQ(ring.offset, -3);  // the plane z = 3, measured along the unit normal
    EXPECT_EQ(ring.innerRadiusSquared, 0.25);
    EXPECT_EQ(ring.outerRadiusSquared, 2.25);
}

TEST_F(RingTest, PrintsTheUnitNormalThenTheCentre) {
    const ObjectRecord* ring = makeRing(1.5, -2, 0, 0, -4, 0, 1, 2);
    testing::internal::CaptureStdout();
    ring->printFn(*ring);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Ring: Nx = 0, Ny = -1, Nz = 0\n Cx = 1.5, Cy = -2, Cz = 0\n");
}

}  // namespace
