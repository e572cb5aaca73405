#include "primitives/patch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

#include "model/globals.h"
#include "test_support.h"

namespace {

class PatchTest : public SceneTest {};

// The face (0, 0, 0), (1, 0, 0), (0, 0, 1): e1 x e2 = (0, -1, 0), u = x and v = z.
const Vector3 kP0{0, 0, 0};
const Vector3 kP1{1, 0, 0};
const Vector3 kP2{0, 0, 1};

const ObjectRecord* cornerPatch(Vector3 n0, Vector3 n1, Vector3 n2) {
    Vector3 face[6] = {kP0, n0, kP1, n1, kP2, n2};
    return makePatch(face);
}

TEST(PatchOrientation, CheckPatchTurnsNormalsToTheSideOfTheWinding) {
    const struct {
        const char* what;
        Vector3 p1, p2;
        Vector3 normal;
        Vector3 expected;
    } cases[] = {
        {"already on the winding's side", kP1, kP2, {0, -1, 0}, {0, -1, 0}},
        {"opposite the winding", kP1, kP2, {0, 1, 0}, {0, -1, 0}},
        {"slanted, on the winding's side", kP1, kP2, {3, -1, 2}, {3, -1, 2}},
        {"slanted, opposite", kP1, kP2, {3, 1, 2}, {-3, -1, -2}},
        {"in the face's plane is negated", kP1, kP2, {1, 0, 0}, {-1, 0, 0}},
        {"reversed winding keeps its side", kP2, kP1, {0, 1, 0}, {0, 1, 0}},
        {"reversed winding turns the other side", kP2, kP1, {0, -1, 0}, {0, 1, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Vector3 face[6] = {kP0, c.normal, c.p1, c.normal, c.p2, {0, 0, 0}};
        checkPatch(face);
        for (int k : {1, 3}) {
            EXPECT_EQ(face[k].x, c.expected.x);
            EXPECT_EQ(face[k].y, c.expected.y);
            EXPECT_EQ(face[k].z, c.expected.z);
        }
        // The positions are left alone.
        EXPECT_EQ(face[2].x, c.p1.x);
        EXPECT_EQ(face[4].z, c.p2.z);
    }
}

TEST(PatchInverse, InvertMatrixGivesTheCofactorsOverTheDeterminant) {
    // det 1; the inverse is [-24 18 5; 20 -15 -4; -5 4 1], stored transposed.
    const double m[9] = {1, 2, 3, 0, 1, 4, 5, 6, 0};
    const double expected[9] = {-24, 20, -5, 18, -15, 4, 5, -4, 1};
    // det 25; cofactors worked out by hand.
    const double w[9] = {2, 0, 1, 1, 3, 0, 0, 1, 4};
    const double cofactors[9] = {12, -4, 1, 1, 8, -2, -3, 1, 6};

    double r[9];
    invertMatrix(m, r);
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(r[i], expected[i], 1e-12) << "element " << i;
    invertMatrix(w, r);
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(r[i], cofactors[i] / 25, 1e-15) << "element " << i;
}

TEST_F(PatchTest, DualVectorsMeasureTheWeightsAlongTheEdges) {
    const ObjectRecord* corner = cornerPatch({0, -1, 0}, {0, 1, 0}, {0, -1, 0});
    ASSERT_NE(corner, nullptr);
    const PatchData& data = dataOf<PatchData>(*corner);
    expectVectorNear(data.dualU, {1, 0, 0});
    expectVectorNear(data.dualV, {0, 0, 1});
    expectVectorNear(data.faceNormal, {0, -1, 0});
    expectVectorNear(patchCornerNormal(*corner, 1), {0, -1, 0});  // oriented by the constructor

    // A face in general position: the duals are the biorthogonal basis of its edges.
    const Vector3 p0{0.2, -1, 3}, p1{2.5, 0.4, 2.1}, p2{-1.3, 1.7, 0.6};
    Vector3 face[6] = {p0, {1, 1, 1}, p1, {1, 1, 1}, p2, {1, 1, 1}};
    const ObjectRecord* general = makePatch(face);
    const PatchData& g = dataOf<PatchData>(*general);
    const Vector3 e1 = p1 - p0;
    const Vector3 e2 = p2 - p0;
    const Vector3 n = unit(cross(e1, e2));
    EXPECT_NEAR(dot(g.dualU, e1), 1, 1e-12);
    EXPECT_NEAR(dot(g.dualU, e2), 0, 1e-12);
    EXPECT_NEAR(dot(g.dualV, e1), 0, 1e-12);
    EXPECT_NEAR(dot(g.dualV, e2), 1, 1e-12);
    EXPECT_NEAR(dot(g.dualU, n), 0, 1e-12);
    EXPECT_NEAR(dot(g.dualV, n), 0, 1e-12);
    expectVectorNear(g.faceNormal, n);
}

TEST_F(PatchTest, RecordsItsKindAndSlabsWithTheMargin) {
    const ObjectRecord* patch = cornerPatch({0, -1, 0}, {0, -1, 0}, {0, -1, 0});
    EXPECT_EQ(patch->kind, KIND_PATCH);
    EXPECT_EQ(myObjectList, patch);
    EXPECT_EQ(nPrims, 1);
    const double low[] = {-0.001, -0.001, -0.001};
    const double high[] = {1.001, 0.001, 1.001};
    for (int i = 0; i < 3; ++i) {
        EXPECT_DOUBLE_EQ(slabsOf(*patch).slabMin[i], low[i]) << "slab " << i;
        EXPECT_DOUBLE_EQ(slabsOf(*patch).slabMax[i], high[i]) << "slab " << i;
    }
}

struct PatchRay {
    const char* what;
    Vector3 origin;
    Vector3 direction;  // unit length
    bool hits;
};

// A ray falling straight down onto the y = 0 plane from height 5.
PatchRay down(const char* what, double x, double z, bool hits) {
    return {what, {x, 5, z}, {0, -1, 0}, hits};
}

TEST_F(PatchTest, RaysAgainstTheFaceIncludeItsEdgesExactly) {
    const PatchRay cases[] = {
        down("inside", 0.25, 0.25, true),
        {"from below: both faces are hit", {0.25, -5, 0.25}, {0, 1, 0}, true},
        down("on the hypotenuse, u + v = 1", 0.5, 0.5, true),
        down("just beyond the hypotenuse", 0.51, 0.5, false),
        down("on the edge u = 0", 0, 0.5, true),
        down("on the edge v = 0", 0.5, 0, true),
        down("on a corner", 1, 0, true),
        down("0.0001 beyond u = 0: no tolerance", -0.0001, 0.5, false),
        down("0.0001 beyond v = 0", 0.5, -0.0001, false),
        {"starting 0.0005 above", {0.25, 0.0005, 0.25}, {0, -1, 0}, false},
        {"starting 0.001 above", {0.25, 0.001, 0.25}, {0, -1, 0}, true},
        {"k = 0.0009 is parallel", {-4.75, 0.0045, 0.25}, {0.999999595, -0.0009, 0}, false},
        {"face behind the origin", {0.25, -5, 0.25}, {0, -1, 0}, false},
    };
    const ObjectRecord* patch = cornerPatch({0, -1, 0}, {0, -1, 0}, {0, -1, 0});
    for (const PatchRay& c : cases) {
        SCOPED_TRACE(c.what);
        HitRecord hit{};
        ASSERT_EQ(patch->intersectFn(*patch, {c.origin, c.direction}, hit), c.hits ? 1 : 0);
        if (!c.hits) continue;
        EXPECT_DOUBLE_EQ(hit.distance, std::fabs(c.origin.y));
        EXPECT_EQ(hit.entering, 1);
        EXPECT_EQ(hit.object, patch);
    }
}

// The corner patch with three different vertex normals.
const ObjectRecord* shadedPatch() {
    return cornerPatch({0, -1, 0}, {-1, -1, 0}, {0, -1, -1});
}

// The normalised blend (1 - u - v) n0 + u n1 + v n2 of the shaded patch's unit normals.
Vector3 shadedNormalAt(double u, double v) {
    const double r = 1 / std::sqrt(2.0);
    return unit(Vector3{-u * r, -(1 - u - v) - u * r - v * r, -v * r});
}

TEST_F(PatchTest, NormalBlendsTheVertexNormalsByTheHitsWeights) {
    const ObjectRecord* patch = shadedPatch();
    HitRecord hit{};
    const Ray ray{{0.25, 5, 0.25}, {0, -1, 0}};
    ASSERT_EQ(patch->intersectFn(*patch, ray, hit), 1);
    const Vector3 point = ray.origin + hit.distance * ray.direction;
    // 0.5 n0 + 0.25 n1 + 0.25 n2 = (-a, -0.5 - 2a, -a) with a = 0.25 / sqrt(2).
    const double a = 0.25 / std::sqrt(2.0);
    const Vector3 expected = unit({-a, -0.5 - 2 * a, -a});
    expectVectorNear(patch->normalFn(*patch, point), expected);

    // At the corners the vertex normals themselves, normalised.
    expectVectorNear(patch->normalFn(*patch, kP0), {0, -1, 0});
    expectVectorNear(patch->normalFn(*patch, kP1), unit({-1, -1, 0}));
    expectVectorNear(patch->normalFn(*patch, kP2), unit({0, -1, -1}));
}

// The normal belongs to the point asked about, not to whichever hit came last.
TEST_F(PatchTest, NormalDoesNotDependOnTheLatestIntersection) {
    const ObjectRecord* first = shadedPatch();
    const ObjectRecord* second = cornerPatch({1, -1, 0}, {0, -1, 1}, {0, -1, 0});
    const Vector3 p{0.25, 0, 0.25};
    const Vector3 q{0.6, 0, 0.1};
    HitRecord hit{};
    ASSERT_EQ(first->intersectFn(*first, {{0.25, 5, 0.25}, {0, -1, 0}}, hit), 1);
    ASSERT_EQ(first->intersectFn(*first, {{0.6, 5, 0.1}, {0, -1, 0}}, hit), 1);
    ASSERT_EQ(second->intersectFn(*second, {{0.1, 5, 0.1}, {0, -1, 0}}, hit), 1);
    expectVectorNear(first->normalFn(*first, p), shadedNormalAt(0.25, 0.25));
    expectVectorNear(first->normalFn(*first, q), shadedNormalAt(0.6, 0.1));
}

// Render threads trace the same patch at once; every thread must get the normal of its own
// hit. Each thread sweeps its own column of points and checks each normal against the blend.
TEST_F(PatchTest, ThreadsSharingAPatchGetTheNormalsOfTheirOwnHits) {
    const ObjectRecord* patch = shadedPatch();
    constexpr int kThreads = 4;
    constexpr int kSteps = 20000;
    std::vector<int> wrong(kThreads, 0);
    std::vector<int> hits(kThreads, 0);
    std::vector<std::thread> threads;
    for (int id = 0; id < kThreads; ++id) {
        threads.emplace_back([&, id] {
            const double u = 0.1 + 0.2 * id;
            for (int step = 0; step < kSteps; ++step) {
                const double v = (1 - u) * (step % 97) / 97.0;
                const Ray ray{{u, 5, v}, {0, -1, 0}};
                HitRecord hit{};
                if (patch->intersectFn(*patch, ray, hit) == 0) continue;
                ++hits[id];
                const Vector3 point = ray.origin + hit.distance * ray.direction;
                const Vector3 n = patch->normalFn(*patch, point);
                const Vector3 e = shadedNormalAt(u, v);
                if (std::fabs(n.x - e.x) + std::fabs(n.y - e.y) + std::fabs(n.z - e.z) > 1e-12)
                    ++wrong[id];
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int id = 0; id < kThreads; ++id) {
        EXPECT_EQ(hits[id], kSteps) << "thread " << id;
        EXPECT_EQ(wrong[id], 0) << "thread " << id;
    }
}

TEST_F(PatchTest, ZeroVertexNormalFallsBackToTheFaceNormal) {
    const ObjectRecord* patch = cornerPatch({0, 0, 0}, {-1, -1, 0}, {0, -1, 0});
    expectVectorNear(patchCornerNormal(*patch, 0), {0, -1, 0});
    expectVectorNear(patch->normalFn(*patch, kP0), {0, -1, 0});
    // Halfway along e1 the blend is 0.5 (0, -1, 0) + 0.5 (-1, -1, 0) / sqrt(2).
    const double r = 0.5 / std::sqrt(2.0);
    expectVectorNear(patch->normalFn(*patch, {0.5, 0, 0}), unit({-r, -0.5 - r, 0}));
}

// Opposite in-plane normals cancel halfway between their vertices; the face normal stands in.
TEST_F(PatchTest, CancellingVertexNormalsFallBackToTheFaceNormal) {
    const ObjectRecord* patch = cornerPatch({1, 0, 0}, {-1, 0, 0}, {0, -1, 0});
    // checkPatch negates both in-plane normals: (-1, 0, 0) and (1, 0, 0).
    expectVectorNear(patchCornerNormal(*patch, 0), {-1, 0, 0});
    expectVectorNear(patchCornerNormal(*patch, 1), {1, 0, 0});
    const Vector3 n = patch->normalFn(*patch, {0.5, 0, 0});
    expectVectorNear(n, {0, -1, 0});
}

// A process that loads scene after scene (the tests, the fuzz targets) releases the mesh of
// the scene's smooth triangles with the scene: the next scene starts a mesh of its own, so
// memory does not grow from scene to scene and no face points into a released mesh.
TEST_F(PatchTest, TheNextSceneStartsAMeshOfItsOwn) {
    for (int scene = 0; scene < 2; ++scene) {
        resetScene();
        const ObjectRecord* patch = cornerPatch({0, -1, 0}, {0, -1, 0}, {0, -1, 0});
        ASSERT_NE(patch, nullptr);
        const PatchData& data = dataOf<PatchData>(*patch);
        EXPECT_EQ(data.mesh->vertices.size(), 3u) << "scene " << scene;
        for (std::uint32_t k = 0; k < 3; ++k) EXPECT_EQ(data.corner[k], k) << "scene " << scene;
        EXPECT_EQ(data.mesh->vertices[2].z, kP2.z);
    }
}

// The scene's mesh grows in steps of different kinds, small ones first, then whole large
// pages; faces made before each step keep their corners.
TEST_F(PatchTest, FacesKeepTheirCornersAsTheSceneMeshGrows) {
    constexpr int kFaces = 40000;  // 120,000 vertices: past the first large step
    std::vector<const ObjectRecord*> patches;
    for (int i = 0; i < kFaces; ++i) {
        const double x = i;
        Vector3 face[6] = {{x, 0, 0}, {0, -1, 0}, {x + 1, 0, 0}, {0, -1, 0}, {x, 0, 1}, {0, -1, 0}};
        patches.push_back(makePatch(face));
        ASSERT_NE(patches.back(), nullptr);
    }
    for (int i = 0; i < kFaces; i += 997) {
        EXPECT_EQ(patchVertex(*patches[i], 0).x, i);
        EXPECT_EQ(patchVertex(*patches[i], 1).x, i + 1);
        EXPECT_EQ(patchVertex(*patches[i], 2).z, 1);
        expectVectorNear(patchCornerNormal(*patches[i], 2), {0, -1, 0});
    }
}

TEST_F(PatchTest, PrintsItsName) {
    const ObjectRecord* patch = shadedPatch();
    testing::internal::CaptureStdout();
    patch->printFn(*patch);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "patch\n");
}

}  // namespace
