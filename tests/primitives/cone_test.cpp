#include "primitives/cone.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "model/globals.h"
#include "test_support.h"

namespace {

class ConeTest : public SceneTest {};

struct ConeRay {
    const char* what;
    const ObjectRecord* cone;
    Vector3 origin;
    Vector3 direction;  // unit length
    bool hits;
    double distance;
    Vector3 normal;  // what coneNormal returns at the hit
};

void checkRays(const ConeRay* begin, const ConeRay* end) {
    for (const ConeRay* c = begin; c != end; ++c) {
        SCOPED_TRACE(c->what);
        HitRecord hit{};
        hit.entering = 1;
        ASSERT_EQ(c->cone->intersectFn(*c->cone, {c->origin, c->direction}, hit), c->hits ? 1 : 0);
        if (!c->hits) continue;
        EXPECT_NEAR(hit.distance, c->distance, 1e-9);
        EXPECT_EQ(hit.entering, 0);
        EXPECT_EQ(hit.object, c->cone);
        const Vector3 point = c->origin + hit.distance * c->direction;
        expectVectorNear(c->cone->normalFn(*c->cone, point), c->normal, 1e-9);
    }
}

TEST_F(ConeTest, CylinderFromOutsideInsideAndAlongItsAxis) {
    const ObjectRecord* cylinder = makeCone(0, 0, 0, 1, 0, 2, 0, 1);
    const Vector3 front{0, 0, -1};
    const Vector3 back{0, 0, 1};
    const Vector3 z{0, 0, 1};
    const ConeRay cases[] = {
        {"from outside", cylinder, {0, 1, -5}, z, true, 4, front},
        {"from outside, grazing the wall", cylinder, {1, 1, -5}, z, true, 5, {1, 0, 0}},
        {"past the cap end: no end discs", cylinder, {0, 3, -5}, z, false, 0, {}},
        {"level with the cap circle", cylinder, {0, 2, -5}, z, true, 4, front},
        {"level with the base circle", cylinder, {0, 0, -5}, z, true, 4, front},
        {"just beyond the cap circle", cylinder, {0, 2.001, -5}, z, false, 0, {}},
        {"just beyond the base circle", cylinder, {0, -0.001, -5}, z, false, 0, {}},
        {"from inside", cylinder, {0, 1, 0}, z, true, 1, back},
        {"behind the origin", cylinder, {0, 1, 5}, z, false, 0, {}},
        {"on the wall going inwards finds the far side", cylinder, {0, 1, -1}, z, true, 2, back},
        {"on the wall going outwards", cylinder, {0, 1, -1}, -z, false, 0, {}},
        {"0.0009 outside: too close", cylinder, {0, 1, -1.0009}, z, true, 2.0009, back},
        {"0.0011 outside", cylinder, {0, 1, -1.0011}, z, true, 0.0011, front},
        {"along the axis", cylinder, {0, -5, 0}, {0, 1, 0}, false, 0, {}},
        {"parallel to the axis, inside", cylinder, {0.5, -5, 0}, {0, 1, 0}, false, 0, {}},
        {"parallel to the axis, on the wall", cylinder, {1, -5, 0}, {0, 1, 0}, false, 0, {}},
        {"in through the open end onto the inside wall",
         cylinder,
         {0, 3, 0},
         {0.6, -0.8, 0},
         true,
         5.0 / 3,
         {1, 0, 0}},
        {"near crossing past the cap end, far one on the wall",
         cylinder,
         {-3, 3, 0},
         unit({1, -0.3, 0}),
         true,
         4 * std::sqrt(1.09),
         {1, 0, 0}},
    };
    checkRays(std::begin(cases), std::end(cases));
}

TEST_F(ConeTest, ConesTiltTheirNormalsAgainstTheChangeOfRadius) {
    const ObjectRecord* pointed = makeCone(0, 0, 0, 1, 0, 1, 0, 0);
    const ObjectRecord* widening = makeCone(0, 0, 0, 0, 0, 1, 0, 1);
    // Along z the cross-section basis comes from the y axis.
    const ObjectRecord* alongZ = makeCone(0, 0, 0, 2, 0, 0, 2, 1);
    const double h = std::numbers::sqrt2 / 2;
    const double s = 1 / std::sqrt(1.25);
    const Vector3 z{0, 0, 1};
    const ConeRay cases[] = {
        {"pointed cone from outside", pointed, {0, 0.5, -5}, z, true, 4.5, {0, h, -h}},
        {"pointed cone from inside", pointed, {0, 0.5, 0}, z, true, 0.5, {0, h, h}},
        {"pointed cone, mirrored sheet past the apex", pointed, {0, 1.5, -5}, z, false, 0, {}},
        {"pointed cone, mirrored sheet below the base", pointed, {0, -0.5, -5}, z, false, 0, {}},
        {"pointed cone, steeper than its sides, from inside",
         pointed,
         {0.5, -0.5, 0},
         {0, 1, 0},
         true,
         1,
         {h, h, 0}},
        {"pointed cone, steeper than its sides, from outside",
         pointed,
         {0.5, 2, 0},
         {0, -1, 0},
         true,
         1.5,
         {h, h, 0}},
        {"widening cone from outside", widening, {0, 0.5, -5}, z, true, 4.5, {0, -h, -h}},
        {"cone along z from outside", alongZ, {-5, 0, 1}, {1, 0, 0}, true, 3.5, {-s, 0, s / 2}},
        {"cone along z from inside", alongZ, {0, 0, 1}, {0, 1, 0}, true, 1.5, {0, s, s / 2}},
        {"cone along z, past its narrow end", alongZ, {-5, 0, 2.001}, {1, 0, 0}, false, 0, {}},
    };
    checkRays(std::begin(cases), std::end(cases));
}

TEST_F(ConeTest, ObliqueCylinderHasItsRadiusEverywhere) {
    // Axis (0, 0.6, 0.8), length 5; (1, 0, 0) and (0, 0.8, -0.6) are perpendicular to it.
    const ObjectRecord* cylinder = makeCone(0, 0, 0, 1, 0, 3, 4, 1);
    const Vector3 middle{0, 1.5, 2};
    const Vector3 across{0, 0.8, -0.6};
    const Vector3 pastCap = Vector3{0, 3, 4} + 0.01 * Vector3{0, 0.6, 0.8};
    const Vector3 x{1, 0, 0};
    const ConeRay cases[] = {
        {"perpendicular along x", cylinder, middle - 5 * x, x, true, 4, -x},
        {"perpendicular in the axis plane", cylinder, middle - 5 * across, across, true, 4,
         -across},
        {"from the axis", cylinder, middle, across, true, 1, across},
        {"parallel to the axis, inside", cylinder, {0.5, 0, 0}, {0, 0.6, 0.8}, false, 0, {}},
        {"perpendicular, past the cap", cylinder, pastCap - 5 * x, x, false, 0, {}},
    };
    checkRays(std::begin(cases), std::end(cases));
}

// Over cones of many orientations, a ray perpendicular to the axis stays in one circular
// cross-section: it must hit where that circle's radius says, with the tilted normal.
TEST_F(ConeTest, PerpendicularRaysHitAtTheRadiusOfTheirHeight) {
    struct Shape {
        Vector3 base;
        double baseRadius;
        Vector3 cap;
        double capRadius;
    };
    const Shape shapes[] = {
        {{1, -2, 0.5}, 1, {4, 2, 0.5}, 0.25},  {{0, 0, 0}, 0.5, {0, 0, -3}, 2},
        {{2, 2, 2}, 1.5, {2.0001, 2, 5}, 1.5}, {{-1, 0, 3}, 0, {2, 5, -1}, 2},
        {{0, 1, 0}, 3, {1e-6, 1, 2}, 1},       {{5, 5, 5}, 0.7, {4, 6, 5.05}, 0.7},
    };
    for (const Shape& shape : shapes) {
        const ObjectRecord* cone =
            makeCone(shape.base.x, shape.base.y, shape.base.z, shape.baseRadius, shape.cap.x,
                     shape.cap.y, shape.cap.z, shape.capRadius);
        const Vector3 axis = unit(shape.cap - shape.base);
        const double coneLength = length(shape.cap - shape.base);
        const double slope = (shape.capRadius - shape.baseRadius) / coneLength;
        const Vector3 helper = std::fabs(axis.x) < 0.5 ? Vector3{1, 0, 0} : Vector3{0, 1, 0};
        const Vector3 u = unit(cross(axis, helper));
        const Vector3 v = cross(axis, u);
        for (double fraction : {0.1, 0.5, 0.9}) {
            for (int step = 0; step < 12; ++step) {
                SCOPED_TRACE(testing::Message()
                             << "cone to " << shape.cap.x << " " << shape.cap.y << " "
                             << shape.cap.z << ", height " << fraction << ", step " << step);
                const double angle = step * std::numbers::pi / 6;
                const Vector3 radial = std::cos(angle) * u + std::sin(angle) * v;
                const double height = fraction * coneLength;
                const double radius = shape.baseRadius + slope * height;
                const Vector3 origin = shape.base + height * axis + (radius + 2) * radial;

                HitRecord hit{};
                ASSERT_EQ(cone->intersectFn(*cone, {origin, -radial}, hit), 1);
                EXPECT_NEAR(hit.distance, 2, 1e-9);
                const Vector3 normal = cone->normalFn(*cone, origin - hit.distance * radial);
                expectVectorNear(normal, unit(radial - slope * axis), 1e-9);
            }
        }
    }
}

// Centres so close or so far apart that the squared span underflows or overflows still give
// a unit axis, the true length, finite slabs and hits.
TEST_F(ConeTest, ExtremeSpansStillGiveAUnitAxis) {
    const struct {
        Vector3 cap;  // the base is at the origin, both radii are 1
        Vector3 axis;
        double length;
    } cases[] = {
        {{0, 1e-170, 0}, {0, 1, 0}, 1e-170},
        {{3e-161, 0, 4e-161}, {0.6, 0, 0.8}, 5e-161},
        {{0, 3e200, -4e200}, {0, 0.6, -0.8}, 5e200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.cap.x << " " << c.cap.y << " " << c.cap.z);
        const ObjectRecord* object = makeCone(0, 0, 0, 1, c.cap.x, c.cap.y, c.cap.z, 1);
        const ConeData& cone = dataOf<ConeData>(*object);
        expectVectorNear(cone.axis, c.axis, 1e-15);
        EXPECT_NEAR(cone.length / c.length, 1, 1e-15);
        EXPECT_EQ(cone.slope, 0);
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(std::isfinite(slabsOf(*object).slabMin[i]) &&
                        std::isfinite(slabsOf(*object).slabMax[i]));
        }
        // Straight at the base circle, perpendicular to the axis, from 4 outside it.
        const Vector3 radial = cone.radialU;
        HitRecord hit{};
        ASSERT_EQ(object->intersectFn(*object, {5 * radial, -radial}, hit), 1);
        EXPECT_NEAR(hit.distance, 4, 1e-12);
        expectVectorNear(object->normalFn(*object, radial), radial, 1e-12);
    }
}

TEST_F(ConeTest, ApexOfAPointedConeHasAFiniteNormal) {
    const ObjectRecord* pointedAtCap = makeCone(0, 0, 0, 1, 0, 1, 0, 0);
    const ObjectRecord* pointedAtBase = makeCone(0, 0, 0, 0, 0, 1, 0, 1);
    struct ApexRay {
        const char* what;
        const ObjectRecord* cone;
        Ray ray;
        double distance;
        double axial;  // the normal's component along the axis: the side lines' angle
    };
    const double h = std::numbers::sqrt2 / 2;
    const ApexRay cases[] = {
        {"across the apex at the cap", pointedAtCap, {{0, 1, -5}, {0, 0, 1}}, 5, h},
        {"up the axis to the apex", pointedAtCap, {{0, -5, 0}, {0, 1, 0}}, 6, h},
        {"across the apex at the base", pointedAtBase, {{0, 0, -5}, {0, 0, 1}}, 5, -h},
    };
    for (const ApexRay& c : cases) {
        SCOPED_TRACE(c.what);
        HitRecord hit{};
        ASSERT_EQ(c.cone->intersectFn(*c.cone, c.ray, hit), 1);
        EXPECT_NEAR(hit.distance, c.distance, 1e-12);
        const Vector3 normal =
            c.cone->normalFn(*c.cone, c.ray.origin + hit.distance * c.ray.direction);
        ASSERT_TRUE(std::isfinite(normal.x) && std::isfinite(normal.y) && std::isfinite(normal.z));
        EXPECT_NEAR(length(normal), 1, 1e-12);
        EXPECT_NEAR(normal.y, c.axial, 1e-12);
    }
}

struct Basis {
    const char* what;
    Vector3 cap;  // the base is at the origin
    Vector3 radialU;
    Vector3 radialV;
};

TEST_F(ConeTest, CrossSectionBasisAvoidsAnAxisNearZ) {
    const double near = 1 / std::sqrt(1.0016);  // axis (0.04, 0, 1): 1 - z = 0.0008
    const double far = 1 / std::sqrt(1.0025);   // axis (0.05, 0, 1): 1 - z = 0.00125
    const Basis cases[] = {
        {"axis along y", {0, 2, 0}, {1, 0, 0}, {0, 0, 1}},
        {"axis along z", {0, 0, 1}, {-1, 0, 0}, {0, 1, 0}},
        {"axis along -z", {0, 0, -3}, {1, 0, 0}, {0, 1, 0}},
        {"axis within the z threshold", {0.04, 0, 1}, {-near, 0, 0.04 * near}, {0, 1, 0}},
        {"axis just outside the z threshold", {0.05, 0, 1}, {0, -1, 0}, {-far, 0, 0.05 * far}},
        {"oblique axis", {0, 3, 4}, {1, 0, 0}, {0, -0.8, 0.6}},
    };
    for (const Basis& c : cases) {
        SCOPED_TRACE(c.what);
        const ConeData& cone =
            dataOf<ConeData>(*makeCone(0, 0, 0, 1, c.cap.x, c.cap.y, c.cap.z, 1));
        expectVectorNear(cone.radialU, c.radialU, 1e-12);
        expectVectorNear(cone.radialV, c.radialV, 1e-12);
        EXPECT_NEAR(dot(cone.radialU, cone.axis), 0, 1e-15);
        EXPECT_NEAR(dot(cone.radialV, cone.axis), 0, 1e-15);
        EXPECT_NEAR(dot(cone.radialU, cone.radialV), 0, 1e-15);
        EXPECT_NEAR(length(cone.radialV), 1, 1e-15);
    }
}

struct ConeSlabs {
    const char* what;
    Vector3 base;
    double baseRadius;
    Vector3 cap;
    double capRadius;
    double min[3];
    double max[3];
};

TEST_F(ConeTest, SlabsSpanBothEndCircles) {
    const ConeSlabs cases[] = {
        {"cylinder along y", {0, 0, 0}, 1, {0, 2, 0}, 1, {-1, 0, -1}, {1, 2, 1}},
        {"pointed cone along y", {0, 0, 0}, 1, {0, 1, 0}, 0, {-1, 0, -1}, {1, 1, 1}},
        {"oblique cylinder", {0, 0, 0}, 1, {0, 3, 4}, 1, {-1, -0.8, -0.6}, {1, 3.8, 4.6}},
        {"oblique cone", {0, 0, 0}, 2, {0, 3, 4}, 0.5, {-2, -1.6, -1.2}, {2, 3.4, 4.3}},
        {"cone along z", {0, 0, 0}, 2, {0, 0, 2}, 1, {-2, -2, 0}, {2, 2, 2}},
        {"cone widening downwards", {1, 1, 1}, 0.5, {1, 1, -1}, 2, {-1, -1, -1}, {3, 3, 1}},
    };
    for (const ConeSlabs& c : cases) {
        SCOPED_TRACE(c.what);
        const ObjectRecord* cone = makeCone(c.base.x, c.base.y, c.base.z, c.baseRadius, c.cap.x,
                                            c.cap.y, c.cap.z, c.capRadius);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(slabsOf(*cone).slabMin[i], c.min[i], 1e-12) << "axis " << i;
            EXPECT_NEAR(slabsOf(*cone).slabMax[i], c.max[i], 1e-12) << "axis " << i;
        }
    }
}

TEST_F(ConeTest, ConstructorStoresTheFrameAndListsTheCone) {
    const ObjectRecord* first = makeCone(0, 0, 0, 1, 0, 2, 0, 1);
    const ObjectRecord* second = makeCone(1, 2, 3, 1, 1, 2, -1, 3);
    EXPECT_EQ(nPrims, 2);
    EXPECT_EQ(myObjectList, second);
    EXPECT_EQ(second->next, first);
    EXPECT_EQ(second->kind, KIND_CONE);

    // The axis points from the base down to the cap; heights are measured from the base.
    const ConeData& cone = dataOf<ConeData>(*second);
    expectVectorNear(cone.axis, {0, 0, -1}, 0);
    EXPECT_EQ(cone.length, 4);
    EXPECT_EQ(cone.slope, 0.5);
    EXPECT_EQ(dot(cone.axis, {5, 5, 1}) + cone.axisOffset, 2);
    EXPECT_EQ(cone.axialMin, -3);
    EXPECT_EQ(cone.axialMax, 1);
}

TEST_F(ConeTest, PrintsBothCirclesAsGiven) {
    const ObjectRecord* cone = makeCone(1.5, -2, 0, 0.25, 1.5, -2, 3, 0);
    testing::internal::CaptureStdout();
    cone->printFn(*cone);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Cone: 1.5 -2 0 0.25 1.5 -2 3 0\n");
}

}  // namespace
