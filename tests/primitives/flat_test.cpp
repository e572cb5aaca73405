#include "primitives/flat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

struct PointSet {
    const char* what;
    std::vector<Vector3> points;
    bool plane;
};

TEST(FlatGeometry, HasPlaneOnlyWhenSomeThreePointsAreNotCollinear) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const PointSet cases[] = {
        {"no points", {}, false},
        {"two distinct points", {{0, 0, 0}, {1, 2, 3}}, false},
        {"three coincident points", {{1, 2, 3}, {1, 2, 3}, {1, 2, 3}}, false},
        {"collinear on an axis", {{0, 0, 0}, {1, 0, 0}, {5, 0, 0}, {-2, 0, 0}}, false},
        {"collinear along a diagonal, out of order",
         {{2, 2, 2}, {0, 0, 0}, {-3, -3, -3}, {1, 1, 1}},
         false},
        {"a proper triangle", {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}, true},
        {"a thin sliver that still has a plane", {{0, 0, 0}, {1, 0, 0}, {0.5, 1e-6, 0}}, true},
        {"collinear start, then a point off the line",
         {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {3, 1, 0}},
         true},
        {"coincident first two points", {{1, 1, 1}, {1, 1, 1}, {2, 1, 1}, {1, 2, 1}}, true},
        {"a NaN coordinate", {{0, 0, 0}, {1, 0, 0}, {nan, 1, 0}}, false},
    };
    for (const PointSet& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(hasPlane(c.points), c.plane);
    }
}

// Points computed along one line are collinear only up to rounding; their cross product is
// noise, not zero, and must not pass for a plane. Far from the origin the noise is set by the
// coordinates rather than by the size of the face.
TEST(FlatGeometry, PointsCollinearUpToRoundingHaveNoPlane) {
    const struct {
        const char* what;
        Vector3 start;
        Vector3 along;
    } cases[] = {
        {"near the origin", {123.456, -7.89, 1000.1}, {0.1, 0.7, -0.3}},
        {"a small face far from the origin",
         {1e6 + 0.123, -2e6 + 0.456, 3e6 + 0.789},
         {1e-3, -3e-4, 2e-4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Vector3 points[] = {c.start, c.start + 0.37 * c.along, c.start + 1.93 * c.along};
        ASSERT_GT(length(cross(points[0] - points[1], points[2] - points[1])), 0)
            << "the points must carry rounding noise";
        EXPECT_FALSE(hasPlane(points));
        EXPECT_EQ(length(flatNormal(points)), 0);
    }
}

TEST(FlatGeometry, NormalComesFromTheFirstTripleWithAPlane) {
    // (V0 - V1) x (V2 - V1) for a proper first triangle: its sign is kept.
    const Vector3 triangle[] = {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}};
    const Vector3 n = flatNormal(triangle);
    EXPECT_DOUBLE_EQ(n.x, 0);
    EXPECT_DOUBLE_EQ(n.y, 1);
    EXPECT_DOUBLE_EQ(n.z, 0);

    // V0, V1, V2 are collinear; (V0, V1, V3) is the first triple with a plane, (V0 - V1) x
    // (V3 - V1) = (0, 3, 0). The last point lies off that plane and would give (0, 0, -1).
    const Vector3 skewed[] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 0, 3}, {0, 5, 0}};
    const Vector3 m = flatNormal(skewed);
    EXPECT_DOUBLE_EQ(m.x, 0);
    EXPECT_DOUBLE_EQ(m.y, 1);
    EXPECT_DOUBLE_EQ(m.z, 0);

    const Vector3 line[] = {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}};
    const Vector3 none = flatNormal(line);
    EXPECT_EQ(none.x, 0);
    EXPECT_EQ(none.y, 0);
    EXPECT_EQ(none.z, 0);
}

TEST(FlatGeometry, ProjectionDropsTheDominantCoordinateWithTiesToXThenY) {
    const struct {
        Vector3 normal;
        int u;
        int v;
    } cases[] = {
        {{1, 0, 0}, 1, 2},        {{-1, 1, 0}, 1, 2},       {{1, -1, 1}, 1, 2},
        {{0, -1, 1}, 0, 2},       {{0.1, -0.5, 0.3}, 0, 2}, {{0.1, 0.2, -0.9}, 0, 1},
        {{0.3, 0.3, 0.31}, 0, 1}, {{0, 0, 0}, 1, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "normal " << c.normal.x << ", " << c.normal.y << ", " << c.normal.z);
        const ProjectionAxes axes = projectionAxes(c.normal);
        EXPECT_EQ(axes.u, c.u);
        EXPECT_EQ(axes.v, c.v);
    }
}

}  // namespace
