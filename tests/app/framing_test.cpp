#include "app/framing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace {

constexpr double kDegree = std::numbers::pi / 180;

Object3DS meshOf(std::vector<Point3f> vertices, std::vector<Face3DS> faces) {
    Object3DS object;
    object.verts.assign(vertices.begin(), vertices.end());
    object.faces.assign(faces.begin(), faces.end());
    return object;
}

// The square of side 2 * half around (0, 0) in the plane z = height, as two triangles.
Object3DS square(float half, float height) {
    return meshOf({{-half, -half, height}, {half, -half, height}, {half, half, height},
                   {-half, half, height}},
                  {{{0, 1, 2}, {0, 0, 0}}, {{0, 2, 3}, {0, 0, 0}}});
}

// A camera 90 degrees wide and as high, looking along -z with y up: from (0, 0, 10) at the
// origin unless told otherwise.
ViewPoint lookingDown(Vector3 position = {0, 0, 10}) {
    ViewPoint camera{};
    camera.position = position;
    camera.lookAt = position - Vector3{0, 0, 10};
    camera.up = {0, 1, 0};
    camera.fovH = 45 * kDegree;
    camera.ratio = 1;
    return camera;
}

TEST(ModelBoxTest, HoldsTheVerticesThatFacesUse) {
    Model3DS model;
    model.objects.push_back(square(1, 2));
    // A mesh without faces (a helper object), a vertex no face uses and one that is not a
    // number are left out.
    model.objects.push_back(meshOf({{100, 100, 100}}, {}));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    model.objects.push_back(
        meshOf({{3, 0, -4}, {nan, 0, 0}, {2e35f, 0, 0}, {0, 0, 0}}, {{{0, 1, 3}, {}}}));
    const ModelBox box = modelBox(model);
    ASSERT_FALSE(box.empty);
    EXPECT_EQ(box.low.x, -1);
    EXPECT_EQ(box.low.y, -1);
    EXPECT_EQ(box.low.z, -4);
    EXPECT_EQ(box.high.x, 3);
    EXPECT_EQ(box.high.y, 1);
    EXPECT_EQ(box.high.z, 2);

    EXPECT_TRUE(modelBox(Model3DS{}).empty);
}

TEST(FramingPositionTest, TheBoundingSphereFitsTheNarrowerAngle) {
    // The cube [-1, 1]^3 has a bounding sphere of radius sqrt(3); seen 40 degrees wide at a
    // ratio of 4/3 the narrower half-angle is 20 / (4/3) = 15 degrees, so the camera stands
    // sqrt(3) / sin(15 degrees) away along (1, 1, 1): at 1 / sin(15 degrees) on every axis.
    const ModelBox cube{{-1, -1, -1}, {1, 1, 1}, false};
    const auto position = framingPosition(cube, {-1, -1, -1}, 20 * kDegree, 4.0 / 3.0);
    ASSERT_TRUE(position.has_value());
    const double expected = 1 / std::sin(15 * kDegree);
    EXPECT_NEAR(position->x, expected, 1e-12);
    EXPECT_NEAR(position->y, expected, 1e-12);
    EXPECT_NEAR(position->z, expected, 1e-12);

    // A tall view: the horizontal angle is the narrower one. Box centred at (10, 0, 0).
    const ModelBox offCentre{{9, -1, -1}, {11, 1, 1}, false};
    const auto tall = framingPosition(offCentre, {0, 0, -1}, 20 * kDegree, 0.5);
    ASSERT_TRUE(tall.has_value());
    EXPECT_NEAR(tall->x, 10, 1e-12);
    EXPECT_NEAR(tall->z, std::sqrt(3.0) / std::sin(20 * kDegree), 1e-12);

    // Nothing to frame: no vertex, or all of them at one point.
    EXPECT_FALSE(framingPosition(ModelBox{}, {-1, -1, -1}, 20 * kDegree, 1).has_value());
    const ModelBox point{{2, 2, 2}, {2, 2, 2}, false};
    EXPECT_FALSE(framingPosition(point, {-1, -1, -1}, 20 * kDegree, 1).has_value());
}

TEST(PictureCoverageTest, CountsTheGridCellsTheFacesCover) {
    // Seen from 10 away through a view 90 degrees wide, the square of side 10 spans the middle
    // half of the picture each way: 80 of the 160 columns and 60 of the 120 rows.
    const struct {
        const char* what;
        Object3DS mesh;
        Vector3 camera;
        double share;
    } cases[] = {
        {"a square ahead", square(5, 0), {0, 0, 10}, 0.25},
        {"a square behind the camera", square(5, 20), {0, 0, 10}, 0},
        {"a triangle beside the view", meshOf({{30, 0, 0}, {40, 0, 0}, {40, 5, 0}}, {{{0, 1, 2}, {}}}),
         {0, 0, 10}, 0},
        {"a square that fills the view", square(1000, 0), {0, 0, 10}, 1},
        // The plane y = 9, one unit below the camera, from behind it to far ahead: cut at the
        // camera's plane, it fills the picture's lower half (under the horizon, rows 60 to 119).
        {"a floor through the camera's plane",
         meshOf({{-1000, 9, 12}, {1000, 9, 12}, {1000, 9, -1000}, {-1000, 9, -1000}},
                {{{0, 1, 2}, {}}, {{0, 2, 3}, {}}}),
         {0, 10, 10}, 0.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Model3DS model;
        model.objects.push_back(c.mesh);
        const auto coverage = pictureCoverage(model, lookingDown(c.camera), 2);
        ASSERT_TRUE(coverage.has_value());
        EXPECT_DOUBLE_EQ(coverage->share, c.share);
        EXPECT_EQ(coverage->inView, c.share > 0);
    }

    // A speck between the centres of the cells covers none of them, but is in view.
    Model3DS speck;
    speck.objects.push_back(meshOf({{0.01f, 0.01f, 0}, {0.02f, 0.01f, 0}, {0.01f, 0.02f, 0}},
                                   {{{0, 1, 2}, {}}}));
    const auto coverage = pictureCoverage(speck, lookingDown(), 2);
    ASSERT_TRUE(coverage.has_value());
    EXPECT_EQ(coverage->share, 0);
    EXPECT_TRUE(coverage->inView);
}

TEST(PictureCoverageTest, StopsCountingOnceTheShareIsReached) {
    Model3DS model;
    model.objects.push_back(square(5, 0));
    const auto coverage = pictureCoverage(model, lookingDown(), 0.05);
    ASSERT_TRUE(coverage.has_value());
    EXPECT_GE(coverage->share, 0.05);
    EXPECT_LT(coverage->share, 0.25) << "the second triangle is not counted";
}

}  // namespace
