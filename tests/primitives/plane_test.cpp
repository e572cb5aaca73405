#include "primitives/plane.h"

#include <gtest/gtest.h>

#include "model/globals.h"
#include "test_support.h"

namespace {

class PlaneTest : public SceneTest {
  protected:
    // The plane a scene block "plane { normal n distance d }" makes.
    static const ObjectRecord* scenePlane(Vector3 n, double d) {
        return makePlane(-n.x, -n.y, -n.z, -d);
    }
};

struct PlaneRay {
    const char* what;
    Vector3 origin;
    Vector3 direction;
    bool hits;
    double distance;
};

TEST_F(PlaneTest, IsSeenOnlyFromTheSideItsSceneNormalPointsTo) {
    const PlaneRay cases[] = {
        {"straight down from above", {0, 5, 0}, {0, -1, 0}, true, 5},
        {"straight up from below", {0, -5, 0}, {0, 1, 0}, false, 0},
        {"parallel", {0, 5, 0}, {1, 0, 0}, false, 0},
        {"grazing under the tolerance", {0, 5, 0}, {0.99999955, -0.0009995, 0}, false, 0},
        {"grazing just past the tolerance",
         {0, 5, 0},
         {0.9999995, -0.0010005, 0},
         true,
         5 / 0.0010005},
        {"starting on the plane, travelling into it", {2, 0, 1}, {0, -1, 0}, true, 0},
        {"starting on the plane, travelling away", {2, 0, 1}, {0, 1, 0}, false, 0},
        {"the plane behind the origin", {0, -1, 0}, {0, -1, 0}, false, 0},
    };
    const ObjectRecord* plane = scenePlane({0, 1, 0}, 0);
    for (const PlaneRay& c : cases) {
        SCOPED_TRACE(c.what);
        HitRecord hit{};
        ASSERT_EQ(plane->intersectFn(*plane, {c.origin, c.direction}, hit), c.hits ? 1 : 0);
        if (!c.hits) continue;
        EXPECT_NEAR(hit.distance, c.distance, 1e-6);
        EXPECT_EQ(hit.entering, 1);
        EXPECT_EQ(hit.object, plane);
    }
}

TEST_F(PlaneTest, ANonUnitNormalKeepsTheDistanceAlongTheUnitNormal) {
    // normal (0, 2, 0) and distance 1 is the plane y = 1.
    const ObjectRecord* plane = scenePlane({0, 2, 0}, 1);
    HitRecord hit{};
    ASSERT_EQ(plane->intersectFn(*plane, {{0, 4, 0}, {0, -1, 0}}, hit), 1);
    EXPECT_DOUBLE_EQ(hit.distance, 3);

    const Vector3 n = plane->normalFn(*plane, {7, 1, -3});
    EXPECT_DOUBLE_EQ(n.x, 0);
    EXPECT_DOUBLE_EQ(n.y, -1);
    EXPECT_DOUBLE_EQ(n.z, 0);
}

TEST_F(PlaneTest, SlabsAreUnboundedWhateverTheOrientation) {
    const ObjectRecord* tilted = scenePlane({1, 1, 0}, 3);
    const ObjectRecord* flat = scenePlane({0, 0, 1}, -2);
    for (const ObjectRecord* plane : {tilted, flat}) {
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(slabsOf(*plane).slabMin[i], -1e10);
            EXPECT_EQ(slabsOf(*plane).slabMax[i], 1e10);
        }
    }
    EXPECT_EQ(nPrims, 2);
}

TEST_F(PlaneTest, PrintsTheStoredNormalAndOffset) {
    const ObjectRecord* plane = scenePlane({0, 0, 1}, 5);
    testing::internal::CaptureStdout();
    plane->printFn(*plane);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Plane: Nx = -0, Ny = -0, Nz = -1, D = 5\n");
}

}  // namespace
