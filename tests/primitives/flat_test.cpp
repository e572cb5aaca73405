#include "primitives/flat.h"

#include <gtest/gtest.h>

#include <cstdint>

#include <cmath>
#include <limits>
#include <vector>

#include "model/data.h"
#include "model/globals.h"
#include "primitives/polygon.h"
#include "primitives/triangle.h"
#include "test_support.h"

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

class SharedEdges : public SceneTest {};

const std::uint8_t* edgeFlags(const ObjectRecord& face) {
    return face.kind == KIND_TRIANGLE ? dataOf<TriangleData>(face).sharedEdges
                                      : dataOf<PolygonData>(face).sharedEdges;
}

TEST_F(SharedEdges, AreTheEdgesAnotherFaceHasTooInEitherDirection) {
    const Vector3 a[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const Vector3 b[3] = {{0, 1, 0}, {1, 0, 0}, {1, 1, 1}};             // a's edge 1, reversed
    // Its edge 0 ends 1e-12 beyond a's edge 2: a different edge.
    const Vector3 nearly[3] = {{0, 1 + 1e-12, 0}, {0, 0, 0}, {-1, 0, 0}};
    const ObjectRecord* ta = makeTriangle(a);
    const ObjectRecord* tb = makeTriangle(b);
    const ObjectRecord* tn = makeTriangle(nearly);
    const ObjectRecord* square = makePolygon({{1, 0, 0}, {0, 0, 0}, {0, -1, 0}, {1, -1, 0}});
    markSharedEdges(myObjectList);
    const struct {
        const char* what;
        const ObjectRecord* face;
        std::vector<int> flags;
    } cases[] = {
        {"a: with the square, with b, alone", ta, {1, 1, 0}},
        {"b: with a only", tb, {1, 0, 0}},
        {"a near miss is not a shared edge", tn, {0, 0, 0}},
        {"square: with a only", square, {1, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (std::size_t i = 0; i < c.flags.size(); ++i) {
            EXPECT_EQ(edgeFlags(*c.face)[i], c.flags[i]) << "edge " << i;
        }
    }
}

// Two faces on one edge, projected onto different coordinate planes: before their edge is
// known to be shared, rays aimed at it slip between them; once it is, every one hits.
TEST_F(SharedEdges, CloseTheGapBetweenFacesOfDifferentProjections) {
    const Vector3 p{0, 0, 0};
    const Vector3 q{0.6, 1, 0.8};
    const Vector3 flatter[3] = {p, q, {-1, 0.7, 0.1}};
    const Vector3 steeper[3] = {q, p, {0.4, -0.5, 0.9}};
    const ObjectRecord* first = makeTriangle(flatter);
    const ObjectRecord* second = makeTriangle(steeper);
    const ProjectionAxes one = projectionAxes(first->normalFn(*first, p));
    const ProjectionAxes other = projectionAxes(second->normalFn(*second, p));
    ASSERT_TRUE(one.u != other.u || one.v != other.v);
    // Seen from either side of the sheet, not edge-on: each ray crosses from one face into the
    // other there.
    const Vector3 side = unit(first->normalFn(*first, p) + second->normalFn(*second, p));
    const Vector3 middle = 0.5 * (p + q);
    const Vector3 origins[] = {middle + 3 * side + Vector3{0.2, 0, 0},
                               middle - 3 * side + Vector3{0, 0.3, 0},
                               middle + 2 * side + Vector3{0, 0, -0.4}};
    const auto leaks = [&] {
        int count = 0;
        for (int n = 1; n < 2000; ++n) {
            const Vector3 target = p + (n / 2000.0) * (q - p);
            for (const Vector3& origin : origins) {
                const Ray ray{origin, unit(target - origin)};
                HitRecord hit{};
                if (first->intersectFn(*first, ray, hit) == 0 &&
                    second->intersectFn(*second, ray, hit) == 0) {
                    ++count;
                }
            }
        }
        return count;
    };
    EXPECT_GT(leaks(), 0);
    markSharedEdges(myObjectList);
    EXPECT_EQ(leaks(), 0);
}

}  // namespace
