#include "primitives/triangle.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "model/globals.h"
#include "primitives/flat.h"
#include "primitives/polygon.h"
#include "test_support.h"

namespace {

class TriangleTest : public SceneTest {};

struct FlatRay {
    const char* what;
    Vector3 origin;
    Vector3 direction;  // unit length
    bool hits;
};

// A ray falling straight down onto the y = 0 plane from height 5.
FlatRay down(const char* what, double x, double z, bool hits) {
    return {what, {x, 5, z}, {0, -1, 0}, hits};
}

const Vector3 kCorner[3] = {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}};

TEST_F(TriangleTest, CopiesItsVerticesAndWidensItsSlabsByTheMargin) {
    Vector3 vertices[3] = {kCorner[0], kCorner[1], kCorner[2]};
    const ObjectRecord* triangle = makeTriangle(vertices);
    ASSERT_NE(triangle, nullptr);
    vertices[1] = {7, 7, 7};  // the caller's array is not kept
    EXPECT_EQ(triangle->kind, KIND_TRIANGLE);
    EXPECT_EQ(myObjectList, triangle);
    EXPECT_EQ(nPrims, 1);

    const double low[] = {-0.001, -0.001, -0.001};
    const double high[] = {1.001, 0.001, 1.001};
    for (int i = 0; i < 3; ++i) {
        EXPECT_DOUBLE_EQ(slabsOf(*triangle).slabMin[i], low[i]) << "slab " << i;
        EXPECT_DOUBLE_EQ(slabsOf(*triangle).slabMax[i], high[i]) << "slab " << i;
    }

    // (V0 - V1) x (V2 - V1) = (-1, 0, 0) x (-1, 0, 1) = (0, 1, 0), whatever the point.
    const Vector3 n = triangle->normalFn(*triangle, {0.2, 0, 0.2});
    EXPECT_EQ(n.x, 0);
    EXPECT_EQ(n.y, 1);
    EXPECT_EQ(n.z, 0);

    HitRecord hit{};
    ASSERT_EQ(triangle->intersectFn(*triangle, {{0.9, 5, 0.05}, {0, -1, 0}}, hit), 1);
    EXPECT_EQ(hit.distance, 5);
}

TEST_F(TriangleTest, RaysAgainstTheCornerTriangle) {
    const FlatRay cases[] = {
        down("inside", 0.25, 0.25, true),
        down("beyond the hypotenuse", 0.6, 0.6, false),
        {"from below: both faces are hit", {0.25, -5, 0.25}, {0, 1, 0}, true},
        // The hypotenuse bounds the triangle on its high-u side: the tolerance moves it in.
        down("0.0004 inside the hypotenuse", 0.4996, 0.5, false),
        down("0.002 inside the hypotenuse", 0.498, 0.5, true),
        // The legs run along the projection axes and are exact.
        down("0.0005 beyond the leg x = 0", -0.0005, 0.5, false),
        down("0.0005 inside the leg x = 0", 0.0005, 0.5, true),
        down("0.0005 beyond the leg z = 0", 0.5, -0.0005, false),
        down("0.0005 inside the leg z = 0", 0.5, 0.0005, true),
        {"starting 0.0005 above", {0.25, 0.0005, 0.25}, {0, -1, 0}, false},
        {"k = 0.0009 is parallel", {-4.75, 0.0045, 0.25}, {0.999999595, -0.0009, 0}, false},
    };
    const ObjectRecord* triangle = makeTriangle(kCorner);
    for (const FlatRay& c : cases) {
        SCOPED_TRACE(c.what);
        HitRecord hit{};
        ASSERT_EQ(triangle->intersectFn(*triangle, {c.origin, c.direction}, hit), c.hits ? 1 : 0);
        if (!c.hits) continue;
        EXPECT_DOUBLE_EQ(hit.distance, 5);
        EXPECT_EQ(hit.entering, 1);
        EXPECT_EQ(hit.object, triangle);
    }
}

// A closed, lumpy ball of triangles whose faces take every projection. Rays from inside it,
// aimed at points of shared edges and at corners, must each hit at least one face: a ray that
// slips between two faces would show the background through a closed model.
TEST_F(TriangleTest, AClosedMeshIsWatertight) {
    constexpr int kRings = 24;
    constexpr int kSides = 37;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unitInterval(0, 1);
    // The poles, then kRings - 1 rings of kSides points, with radii between 1.5 and 2.5.
    std::vector<Vector3> points;
    const double pi = std::acos(-1.0);
    auto onBall = [&](double polar, double azimuth) {
        const double r = 1.5 + unitInterval(random);
        return Vector3{r * std::sin(polar) * std::cos(azimuth),
                       r * std::sin(polar) * std::sin(azimuth), r * std::cos(polar)};
    };
    points.push_back(onBall(0, 0));
    points.push_back(onBall(pi, 0));
    for (int ring = 1; ring < kRings; ++ring) {
        for (int side = 0; side < kSides; ++side) {
            points.push_back(onBall(pi * ring / kRings, 2 * pi * side / kSides));
        }
    }
    auto at = [](int ring, int side) { return 2 + (ring - 1) * kSides + side % kSides; };
    std::vector<std::array<int, 3>> faces;
    for (int side = 0; side < kSides; ++side) {
        faces.push_back({0, at(1, side), at(1, side + 1)});
        faces.push_back({1, at(kRings - 1, side + 1), at(kRings - 1, side)});
        for (int ring = 1; ring + 1 < kRings; ++ring) {
            faces.push_back({at(ring, side), at(ring + 1, side), at(ring + 1, side + 1)});
            faces.push_back({at(ring, side), at(ring + 1, side + 1), at(ring, side + 1)});
        }
    }
    std::vector<const ObjectRecord*> triangles;
    for (const auto& face : faces) {
        const Vector3 corners[3] = {points[face[0]], points[face[1]], points[face[2]]};
        triangles.push_back(makeTriangle(corners));
    }
    markSharedEdges(myObjectList);

    int leaks = 0;
    for (int n = 0; n < 20000; ++n) {
        const auto& face = faces[n % faces.size()];
        const Vector3 a = points[face[n % 3]];
        const Vector3 b = points[face[(n + 1) % 3]];
        const Vector3 target = n % 10 == 0 ? a : a + unitInterval(random) * (b - a);
        const Vector3 origin{unitInterval(random) - 0.5, unitInterval(random) - 0.5,
                             unitInterval(random) - 0.5};
        const Ray ray{origin, unit(target - origin)};
        bool hit = false;
        for (const ObjectRecord* triangle : triangles) {
            HitRecord record{};
            hit = hit || triangle->intersectFn(*triangle, ray, record) == 1;
        }
        if (!hit) ++leaks;
    }
    EXPECT_EQ(leaks, 0);
}

TEST_F(TriangleTest, PrintsItsName) {
    const ObjectRecord* triangle = makeTriangle(kCorner);
    testing::internal::CaptureStdout();
    triangle->printFn(*triangle);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "triangle\n");
}

// The triangle is the polygon fixed at three vertices: for random rays aimed at points in
// and around each triangle, most of them within the 0.001 tolerance of an edge or a corner,
// both must agree on hit or miss, distance and normal.
TEST_F(TriangleTest, AgreesWithThePolygonOfTheSameVertices) {
    const Vector3 triangles[][3] = {
        {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}},                  // in a coordinate plane
        {{0, 0, 1}, {0, 1, 0}, {1, 0, 0}},                  // a normal with three equal components
        {{0.2, -1, 3}, {2.5, 0.4, 2.1}, {-1.3, 1.7, 0.6}},  // general position
        {{-1.3, 1.7, 0.6}, {2.5, 0.4, 2.1}, {0.2, -1, 3}},  // the same, wound the other way
        {{0, 0, 0}, {4, 0.001, 0}, {2, 0.3, 3}},            // a long, slanted edge
    };
    std::mt19937 random(20240611);
    std::uniform_real_distribution<double> unitInterval(0, 1);
    std::uniform_real_distribution<double> nearEdge(-0.003, 0.003);
    int hits = 0;
    int misses = 0;
    for (const auto& vertices : triangles) {
        const ObjectRecord* triangle = makeTriangle(vertices);
        const ObjectRecord* polygon = makePolygon({vertices[0], vertices[1], vertices[2]});
        const Vector3 tn = triangle->normalFn(*triangle, vertices[0]);
        const Vector3 pn = polygon->normalFn(*polygon, vertices[0]);
        EXPECT_EQ(tn.x, pn.x);
        EXPECT_EQ(tn.y, pn.y);
        EXPECT_EQ(tn.z, pn.z);

        const Vector3 normal = unit(cross(vertices[0] - vertices[1], vertices[2] - vertices[1]));
        for (int n = 0; n < 3000; ++n) {
            // A point on a random edge (a corner one time in ten), pushed a little off it in
            // the plane, or anywhere in a box around the triangle.
            const int edge = n % 3;
            const Vector3 a = vertices[edge];
            const Vector3 b = vertices[(edge + 1) % 3];
            Vector3 target;
            if (n % 5 == 4) {
                target = a + unitInterval(random) * (b - a) +
                         2 * (unitInterval(random) - 0.5) * (vertices[(edge + 2) % 3] - a);
            } else {
                const double along = n % 10 == 0 ? 0 : unitInterval(random);
                const Vector3 inPlane = unit(cross(normal, b - a));
                target = a + along * (b - a) + nearEdge(random) * inPlane +
                         nearEdge(random) * unit(b - a);
            }
            const Vector3 offset{unitInterval(random) - 0.5, unitInterval(random) - 0.5,
                                 unitInterval(random) - 0.5};
            const double side = unitInterval(random) < 0.5 ? -3 : 3;
            const Vector3 origin = target + side * normal + offset;
            const Ray ray{origin, unit(target - origin)};

            HitRecord fromTriangle{};
            HitRecord fromPolygon{};
            const int t = triangle->intersectFn(*triangle, ray, fromTriangle);
            const int p = polygon->intersectFn(*polygon, ray, fromPolygon);
            ASSERT_EQ(t, p) << "ray " << n << " towards " << target.x << ", " << target.y << ", "
                            << target.z;
            if (t == 0) {
                ++misses;
                continue;
            }
            ++hits;
            EXPECT_EQ(fromTriangle.distance, fromPolygon.distance);
            EXPECT_EQ(fromTriangle.entering, fromPolygon.entering);
        }
    }
    // Both outcomes must be well represented, or the comparison proves little.
    EXPECT_GT(hits, 3000);
    EXPECT_GT(misses, 3000);
}

}  // namespace
