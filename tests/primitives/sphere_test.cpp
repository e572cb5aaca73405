#include "primitives/sphere.h"

#include <gtest/gtest.h>

#include "model/globals.h"
#include "test_support.h"

namespace {

class SphereTest : public SceneTest {};

struct SphereRay {
    const char* what;
    Vector3 origin;
    Vector3 direction;  // unit length
    bool hits;
    double distance;
    int entering;
};

TEST_F(SphereTest, RaysAgainstTheUnitSphere) {
    const SphereRay cases[] = {
        {"from outside", {0, 0, -5}, {0, 0, 1}, true, 4, 1},
        {"from the centre", {0, 0, 0}, {0, 0, 1}, true, 1, 0},
        {"on the surface going outwards", {0, 0, 1}, {0, 0, 1}, false, 0, 0},
        {"on the surface going inwards finds the far side", {0, 0, -1}, {0, 0, 1}, true, 2, 0},
        {"tangent ray hits at t = b", {1, 0, -5}, {0, 0, 1}, true, 5, 1},
        {"just outside the tangent", {1.0001, 0, -5}, {0, 0, 1}, false, 0, 0},
        {"sphere behind the origin", {0, 0, 5}, {0, 0, 1}, false, 0, 0},
        {"inside the tolerance counts as inside", {0, 0, -1.0004}, {0, 0, 1}, true, 2.0004, 0},
    };
    const ObjectRecord* sphere = makeSphere(0, 0, 0, 1);
    ASSERT_NE(sphere, nullptr);
    for (const SphereRay& c : cases) {
        SCOPED_TRACE(c.what);
        HitRecord hit{};
        const int result = sphere->intersectFn(*sphere, {c.origin, c.direction}, hit);
        ASSERT_EQ(result, c.hits ? 1 : 0);
        if (!c.hits) continue;
        EXPECT_NEAR(hit.distance, c.distance, 1e-12);
        EXPECT_EQ(hit.entering, c.entering);
        EXPECT_EQ(hit.object, sphere);
    }
}

TEST_F(SphereTest, NormalPointsOutwardsWithUnitLength) {
    const ObjectRecord* sphere = makeSphere(1, 2, 3, 2);
    const Vector3 n = sphere->normalFn(*sphere, {1, 2, 1});
    EXPECT_DOUBLE_EQ(n.x, 0);
    EXPECT_DOUBLE_EQ(n.y, 0);
    EXPECT_DOUBLE_EQ(n.z, -1);
}

TEST_F(SphereTest, NegativeRadiusBehavesLikeItsMagnitude) {
    const ObjectRecord* negative = makeSphere(1, 2, 3, -2);
    const ObjectRecord* positive = makeSphere(1, 2, 3, 2);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(slabsOf(*negative).slabMin[i], slabsOf(*positive).slabMin[i]);
        EXPECT_EQ(slabsOf(*negative).slabMax[i], slabsOf(*positive).slabMax[i]);
    }
    EXPECT_EQ(slabsOf(*positive).slabMin[0], -1);
    EXPECT_EQ(slabsOf(*positive).slabMax[2], 5);

    const Ray ray{{1, 2, -10}, {0, 0, 1}};
    HitRecord a{}, b{};
    ASSERT_EQ(negative->intersectFn(*negative, ray, a), 1);
    ASSERT_EQ(positive->intersectFn(*positive, ray, b), 1);
    EXPECT_EQ(a.distance, b.distance);
}

TEST_F(SphereTest, ConstructorListsAndCountsThePrimitive) {
    const ObjectRecord* first = makeSphere(0, 0, 0, 1);
    const ObjectRecord* second = makeSphere(5, 0, 0, 1);
    EXPECT_EQ(nPrims, 2);
    EXPECT_EQ(myObjectList, second);
    EXPECT_EQ(second->next, first);
    EXPECT_EQ(first->kind, KIND_SPHERE);
}

TEST_F(SphereTest, PrintsItsParameters) {
    const ObjectRecord* sphere = makeSphere(1.5, -2, 0, 0.25);
    testing::internal::CaptureStdout();
    sphere->printFn(*sphere);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Sphere: Cx = 1.5, Cy = -2, Cz = 0, R = 0.25\n");
}

}  // namespace
