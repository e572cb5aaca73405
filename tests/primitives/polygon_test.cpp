#include "primitives/polygon.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model/globals.h"
#include "test_support.h"

namespace {

class PolygonTest : public SceneTest {};

struct FlatRay {
    const char* what;
    Vector3 origin;
    Vector3 direction;  // unit length
    bool hits;
    double distance;
};

// A ray falling straight down onto the y = 0 plane from height 5.
FlatRay down(const char* what, double x, double z, bool hits) {
    return {what, {x, 5, z}, {0, -1, 0}, hits, 5};
}

void expectRays(const ObjectRecord* polygon, std::initializer_list<FlatRay> rays) {
    ASSERT_NE(polygon, nullptr);
    for (const FlatRay& c : rays) {
        SCOPED_TRACE(c.what);
        HitRecord hit{};
        ASSERT_EQ(polygon->intersectFn(*polygon, {c.origin, c.direction}, hit), c.hits ? 1 : 0);
        if (!c.hits) continue;
        EXPECT_NEAR(hit.distance, c.distance, 1e-9);
        EXPECT_EQ(hit.entering, 1);
        EXPECT_EQ(hit.object, polygon);
    }
}

const std::vector<Vector3> kSquare{{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}};

TEST_F(PolygonTest, SquareKeepsItsVerticesPlaneProjectionAndExactSlabs) {
    const ObjectRecord* polygon = nullptr;
    {
        std::vector<Vector3> vertices = kSquare;
        polygon = makePolygon(std::move(vertices));
    }
    ASSERT_NE(polygon, nullptr);
    const PolygonData& data = dataOf<PolygonData>(*polygon);
    EXPECT_EQ(polygon->kind, KIND_POLYGON);
    EXPECT_EQ(myObjectList, polygon);
    EXPECT_EQ(nPrims, 1);
    ASSERT_EQ(data.vertexCount, 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(data.vertices[i].x, kSquare[i].x);
        EXPECT_EQ(data.vertices[i].z, kSquare[i].z);
    }

    // (V0 - V1) x (V2 - V1) = (-1, 0, 0) x (0, 0, 1) = (0, 1, 0); y is dropped.
    const Vector3 n = polygon->normalFn(*polygon, {0.3, 0, 0.7});
    EXPECT_EQ(n.x, 0);
    EXPECT_EQ(n.y, 1);
    EXPECT_EQ(n.z, 0);
    EXPECT_EQ(data.uAxis, 0);
    EXPECT_EQ(data.vAxis, 2);

    const double low[] = {0, 0, 0};
    const double high[] = {1, 0, 1};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(slabsOf(*polygon).slabMin[i], low[i]) << "slab " << i;
        EXPECT_EQ(slabsOf(*polygon).slabMax[i], high[i]) << "slab " << i;
    }
}

TEST_F(PolygonTest, RaysAgainstTheSquare) {
    const double s = std::sqrt(1 - 0.001 * 0.001);
    const double t = std::sqrt(1 - 0.0009 * 0.0009);
    expectRays(makePolygon(kSquare),
               {
                   down("centre from above", 0.5, 0.5, true),
                   {"centre from below: both faces are hit", {0.5, -5, 0.5}, {0, 1, 0}, true, 5},
                   {"square behind the origin", {0.5, -5, 0.5}, {0, -1, 0}, false, 0},
                   // Edges along the projection axes have no tolerance.
                   down("0.0005 beyond the high-u edge", 1.0005, 0.5, false),
                   down("0.0005 beyond the low-u edge", -0.0005, 0.5, false),
                   down("0.0005 beyond the high-v edge", 0.5, 1.0005, false),
                   down("0.0005 beyond the low-v edge", 0.5, -0.0005, false),
                   // Exactly on an edge: the high-u and high-v edges belong to it.
                   down("on the high-u edge", 1, 0.5, true),
                   down("on the low-u edge", 0, 0.5, false),
                   down("on the high-v edge", 0.5, 1, true),
                   down("on the low-v edge", 0.5, 0, false),
                   {"starting 0.0005 above: under the minimum distance",
                    {0.5, 0.0005, 0.5},
                    {0, -1, 0},
                    false,
                    0},
                   {"starting 0.001 above", {0.5, 0.001, 0.5}, {0, -1, 0}, true, 0.001},
                   {"k = 0.001 still meets the plane", {-4.5, 0.005, 0.5}, {s, -0.001, 0}, true, 5},
                   {"k = 0.0009 is parallel", {-4.5, 0.0045, 0.5}, {t, -0.0009, 0}, false, 0},
                   {"oblique", {-2.5, 4, 0.5}, {0.6, -0.8, 0}, true, 5},
               });
}

// The diamond's slanted edges cross the line v = 1.5 at u = 0.5 (its low-u side) and at
// u = 1.5 (its high-u side); the crossing test shifts both by up to 0.001 towards lower u.
TEST_F(PolygonTest, SlantedEdgesLeanTowardsLowU) {
    expectRays(makePolygon({{1, 0, 0}, {2, 0, 1}, {1, 0, 2}, {0, 0, 1}}),
               {
                   down("centre", 1, 1, true),
                   down("0.0004 outside the low-u edge", 0.4996, 1.5, true),
                   down("0.002 outside the low-u edge", 0.498, 1.5, false),
                   down("0.0004 inside the high-u edge", 1.4996, 1.5, false),
                   down("0.002 inside the high-u edge", 1.498, 1.5, true),
                   down("0.0004 outside the high-u edge", 1.5004, 1.5, false),
               });
}

TEST_F(PolygonTest, ConcaveLShapeIsHitInItsArmsAndMissedInTheNotch) {
    expectRays(makePolygon({{0, 0, 0}, {2, 0, 0}, {2, 0, 1}, {1, 0, 1}, {1, 0, 2}, {0, 0, 2}}),
               {
                   down("the corner square", 0.5, 0.5, true),
                   down("the arm along x", 1.5, 0.5, true),
                   down("the arm along z", 0.5, 1.5, true),
                   down("the notch", 1.5, 1.5, false),
                   down("past the arm along x", 2.5, 0.5, false),
                   down("beside the arm along z", -0.5, 1.5, false),
               });
}

// The plane z = 0.5 x + 1, seen mostly along z: x and y are kept.
TEST_F(PolygonTest, TiltedPolygonHitsItsPlaneAndKeepsItsNormal) {
    const ObjectRecord* polygon = makePolygon({{0, 0, 1}, {2, 0, 2}, {2, 2, 2}, {0, 2, 1}});
    EXPECT_EQ(dataOf<PolygonData>(*polygon).uAxis, 0);
    EXPECT_EQ(dataOf<PolygonData>(*polygon).vAxis, 1);
    // (V0 - V1) x (V2 - V1) = (-2, 0, -1) x (0, 2, 0) = (2, 0, -4).
    const Vector3 n = polygon->normalFn(*polygon, {1, 1, 1.5});
    EXPECT_NEAR(n.x, 1 / std::sqrt(5.0), 1e-15);
    EXPECT_EQ(n.y, 0);
    EXPECT_NEAR(n.z, -2 / std::sqrt(5.0), 1e-15);

    expectRays(polygon, {
                            {"straight down", {1, 1, 10}, {0, 0, -1}, true, 8.5},
                            {"straight up", {1.5, 0.5, -10}, {0, 0, 1}, true, 11.75},
                            {"beyond the x = 2 edge", {2.0005, 1, 10}, {0, 0, -1}, false, 0},
                            {"beyond the y = 0 edge", {1, -0.0005, 10}, {0, 0, -1}, false, 0},
                        });
}

// A degenerate start no longer leaves a NaN normal: the first triple with area gives it.
TEST_F(PolygonTest, CollinearFirstVerticesTakeTheFirstTripleWithArea) {
    const ObjectRecord* polygon =
        makePolygon({{0, 0, 0}, {0.5, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}});
    const Vector3 n = polygon->normalFn(*polygon, {0.5, 0, 0.5});
    EXPECT_EQ(n.x, 0);
    EXPECT_EQ(std::fabs(n.y), 1);
    EXPECT_EQ(n.z, 0);
    EXPECT_EQ(dataOf<PolygonData>(*polygon).uAxis, 0);
    EXPECT_EQ(dataOf<PolygonData>(*polygon).vAxis, 2);
    expectRays(polygon, {
                            down("inside", 0.5, 0.5, true),
                            down("near the collinear edge", 0.75, 0.0005, true),
                            down("outside", 1.5, 0.5, false),
                        });

    const ObjectRecord* repeated = makePolygon({{0, 0, 0}, {0, 0, 0}, {1, 0, 0}, {0, 0, 1}});
    EXPECT_TRUE(std::isfinite(dataOf<PolygonData>(*repeated).normal.y));
    expectRays(repeated, {
                             down("inside a polygon with a repeated vertex", 0.25, 0.25, true),
                             down("outside it", 0.6, 0.6, false),
                         });
}

TEST_F(PolygonTest, PrintsItsName) {
    const ObjectRecord* polygon = makePolygon(kSquare);
    testing::internal::CaptureStdout();
    polygon->printFn(*polygon);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "polygon\n");
}

}  // namespace
