#include "render/camera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "model/fatal.h"
#include "model/globals.h"
#include "test_support.h"

namespace {

constexpr double kTolerance = 1e-12;

double radians(double degrees) {
    return degrees * std::numbers::pi / 180;
}

class CameraTest : public testing::Test {
  protected:
    void SetUp() override {
        resetScene();
        myDisplay.width = 320;
        myDisplay.height = 240;
        // The camera a block with only position and look_at gives, looking along +y.
        myViewPoint.position = {0, 0, 0};
        myViewPoint.lookAt = {0, 1, 0};
        myViewPoint.up = {0, 0, 1};
        setFieldOfView(45, 4.0 / 3);
        myViewPoint.aperture = 0;
        myViewPoint.focalLength = 10;
        myViewPoint.cameraSamples = 16;
        myViewPoint.projectionType = PROJECTION_FLAT;
    }
    void TearDown() override { resetScene(); }

    // "fov" gives the full horizontal angle in degrees.
    static void setFieldOfView(double fovDegrees, double ratio) {
        myViewPoint.fovH = radians(fovDegrees) / 2;
        myViewPoint.ratio = ratio;
    }

    static Vector3 directionAt(double x, double y) {
        Ray ray{{0, 0, 0}, {0, 0, 0}};
        initRay(x, y, ray);
        return ray.direction;
    }
};

TEST_F(CameraTest, FrameOfTheCameraLookingAlongY) {
    computeCameraFrame();
    expectVectorNear(viewvec, {0, 1, 0});
    expectVectorNear(leftvec, {1, 0, 0});
    expectVectorNear(looking_up, {0, 0, 1});
    expectVectorNear(myViewPoint.up, {0, 0, 1});
}

// Whatever the up hint, as long as it is not along the view: an orthonormal frame whose up
// lies in the plane of the hint and the view, written back so that a second set-up agrees.
TEST_F(CameraTest, FrameIsOrthonormalAndStable) {
    struct Case {
        Vector3 position, lookAt, up;
    };
    const Case cases[] = {
        {{0, 0, 0}, {0, 1, 0}, {0, 0.5, 2}},  // hint leaning towards the view
        {{0, -9, 3}, {0, 0, 1}, {0, 0, 1}},   // looking down a little
        {{1, 2, 3}, {-4, 0.5, 7}, {0.3, -1, 0}},
        {{0, 0, 0}, {0, 0, -5}, {0, 1, 0}},  // looking straight down, y up
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "look_at " << c.lookAt.x << " " << c.lookAt.y << " " << c.lookAt.z);
        myViewPoint.position = c.position;
        myViewPoint.lookAt = c.lookAt;
        myViewPoint.up = c.up;
        computeCameraFrame();

        expectVectorNear(viewvec, unit(c.lookAt - c.position));
        for (Vector3 axis : {viewvec, leftvec, looking_up})
            EXPECT_NEAR(length(axis), 1, kTolerance);
        EXPECT_NEAR(dot(viewvec, leftvec), 0, kTolerance);
        EXPECT_NEAR(dot(viewvec, looking_up), 0, kTolerance);
        EXPECT_NEAR(dot(leftvec, looking_up), 0, kTolerance);
        EXPECT_GT(dot(looking_up, c.up), 0);                    // up stays up
        expectVectorNear(leftvec, cross(viewvec, looking_up));  // and x grows along leftvec

        const Vector3 first[] = {viewvec, leftvec, looking_up};
        computeCameraFrame();
        expectVectorNear(viewvec, first[0]);
        expectVectorNear(leftvec, first[1]);
        expectVectorNear(looking_up, first[2]);
        expectVectorNear(myViewPoint.up, first[2]);
    }
}

// The vertical half-angle is the horizontal one divided by the ratio, not its tangent.
TEST_F(CameraTest, FrustumFromFieldOfViewAndRatio) {
    struct Case {
        double fov, ratio, fovV, width, height;
    };
    const Case cases[] = {
        {90, 1, radians(45), 1, 1},
        {90, 2, radians(22.5), 1, 0.41421356237309503},
        {45, 4.0 / 3, radians(16.875), std::tan(radians(22.5)), std::tan(radians(16.875))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "fov " << c.fov << " ratio " << c.ratio);
        setFieldOfView(c.fov, c.ratio);
        computeCameraFrame();
        EXPECT_NEAR(myViewPoint.fovV, c.fovV, kTolerance);
        EXPECT_NEAR(frustrumwidth, c.width, kTolerance);
        EXPECT_NEAR(frustrumheight, c.height, kTolerance);
    }
}

TEST_F(CameraTest, ApertureSpansTheScreenAxes) {
    const Vector3 untouched{7, 7, 7};
    myViewPoint.apertureLeft = untouched;
    myViewPoint.apertureUp = untouched;
    computeCameraFrame();
    expectVectorNear(myViewPoint.apertureLeft, untouched);
    expectVectorNear(myViewPoint.apertureUp, untouched);

    myViewPoint.position = {1, -2, 0.5};
    myViewPoint.aperture = 0.25;
    computeCameraFrame();
    expectVectorNear(myViewPoint.apertureLeft, leftvec * 0.25);
    EXPECT_NEAR(length(myViewPoint.apertureUp), 0.25, kTolerance);
    EXPECT_NEAR(std::fabs(dot(myViewPoint.apertureUp, looking_up)), 0.25, kTolerance);
}

TEST_F(CameraTest, DegenerateCameraEndsTheRun) {
    const std::string parallel = "up vector is parallel to the viewing direction";
    const std::string coincide = "position and the look_at point are the same";
    struct Case {
        Vector3 position, lookAt, up;
        std::string message;
    };
    const Case cases[] = {
        {{0, 0, 0}, {0, 0, 5}, {0, 0, 1}, parallel},
        {{0, 0, 0}, {0, 0, 5}, {0, 0, -3}, parallel},
        {{1, 1, 1}, {3, 3, 3}, {2, 2, 2}, parallel},
        {{0, 0, 0}, {0, 1, 0}, {0, 0, 0}, parallel},  // no up at all
        {{2, 2, 2}, {2, 2, 2}, {0, 0, 1}, coincide},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        myViewPoint.position = c.position;
        myViewPoint.lookAt = c.lookAt;
        myViewPoint.up = c.up;
        const Outcome outcome = captureRun([] {
            computeCameraFrame();
            return 0;
        });
        EXPECT_TRUE(outcome.exited);
        EXPECT_EQ(outcome.status, kErrorStatus);
        EXPECT_EQ(outcome.output, "\n Camera error: the " + c.message + "\n");
    }
}

// The frame is computed once for all render threads; a scan routine's set-up only aims its
// own ray, so a camera record changed afterwards does not move the picture halfway through.
TEST_F(CameraTest, ScreenInitOnlyReadsTheFrame) {
    myViewPoint.position = {1, 2, 3};
    myViewPoint.lookAt = {1, 5, 3};
    computeCameraFrame();
    myViewPoint.lookAt = {9, 9, 9};
    myViewPoint.up = {1, 0, 0};

    Ray ray{{0, 0, 0}, {0, 0, 0}};
    screenInit(ray);
    expectVectorNear(ray.origin, {1, 2, 3});
    expectVectorNear(ray.direction, {0, 1, 0});
    expectVectorNear(viewvec, {0, 1, 0});
    expectVectorNear(looking_up, {0, 0, 1});
}

TEST_F(CameraTest, ImageCentreLooksAlongTheView) {
    for (int projection : {PROJECTION_FLAT, PROJECTION_FISHEYE}) {
        SCOPED_TRACE(projection);
        myViewPoint.projectionType = projection;
        myViewPoint.position = {1, -2, 4};
        myViewPoint.lookAt = {-3, 5, 0};
        computeCameraFrame();

        Ray ray{{1, 1, 1}, {0, 0, 0}};
        initRay(160, 120, ray);
        expectVectorNear(ray.direction, viewvec);
        expectVectorNear(ray.origin, {1, 1, 1});  // initRay aims; it never moves the ray
    }
}

TEST_F(CameraTest, FlatProjectionDirections) {
    setFieldOfView(90, 1);
    myDisplay.width = 200;
    myDisplay.height = 200;
    computeCameraFrame();

    // With frustum 1 by 1 the image corners lie at 45 degrees on both axes.
    expectVectorNear(directionAt(0, 0), unit(-leftvec + looking_up + viewvec));
    expectVectorNear(directionAt(200, 200), unit(leftvec - looking_up + viewvec));
    expectVectorNear(directionAt(200, 100), unit(leftvec + viewvec));

    // Upper half tilts towards looking_up, right half towards leftvec.
    EXPECT_GT(dot(directionAt(100, 40), looking_up), 0);
    EXPECT_LT(dot(directionAt(100, 160), looking_up), 0);
    EXPECT_GT(dot(directionAt(150, 100), leftvec), 0);
    EXPECT_LT(dot(directionAt(50, 100), leftvec), 0);
}

// A fisheye maps image coordinates linearly to angles: the edges lie at +-fovH and +-fovV
// from the view, beyond what a flat projection could show.
TEST_F(CameraTest, FisheyeEdgesLieAtTheFieldAngles) {
    myViewPoint.projectionType = PROJECTION_FISHEYE;
    setFieldOfView(200, 2);  // fovH 100 degrees, fovV 50 degrees
    computeCameraFrame();
    const double fovH = radians(100);
    const double fovV = radians(50);

    const Vector3 right = directionAt(320, 120);
    EXPECT_NEAR(dot(right, viewvec), std::cos(fovH), kTolerance);
    EXPECT_NEAR(dot(right, leftvec), std::sin(fovH), kTolerance);
    const Vector3 left = directionAt(0, 120);
    EXPECT_NEAR(dot(left, leftvec), -std::sin(fovH), kTolerance);

    const Vector3 top = directionAt(160, 0);
    EXPECT_NEAR(dot(top, viewvec), std::cos(fovV), kTolerance);
    EXPECT_NEAR(dot(top, looking_up), std::sin(fovV), kTolerance);
    const Vector3 bottom = directionAt(160, 240);
    EXPECT_NEAR(dot(bottom, looking_up), -std::sin(fovV), kTolerance);

    // Halfway to the right edge is half the angle.
    EXPECT_NEAR(dot(directionAt(240, 120), viewvec), std::cos(fovH / 2), kTolerance);
}

// shoot goes through trace, so these cases set up a scene: a small sphere with only an
// ambient term, so that any ray that meets it sees exactly its colour, and a black background.
class ShootTest : public CameraTest {
  protected:
    void SetUp() override {
        const Outcome parsed = parseSceneText(
            "settings { output_type \"ppm\" output_name \"unused\" background 0 0 0 }\n"
            "camera { position <0 0 0> look_at <0 1 0> focal_length 10 aperture 0.6 }\n"
            "surface { color 0.2 0.4 0.6 ambient 1 }\n"
            "sphere { center <0 10 0> radius 0.05 }\n");
        ASSERT_EQ(parsed.status, 0) << parsed.output;
        myDisplay.width = 320;
        myDisplay.height = 240;
    }

    // How many numbers `action` draws from the context's stream: the stream is started on a
    // fixed key, then the number that follows the action is looked for in a fresh stream of
    // the same key.
    template <typename Action>
    static int randomDraws(TraceContext& context, Action action) {
        context.random.start(3, 4);
        action();
        const double next = context.random.unit();
        SampleRandom fresh;
        fresh.start(3, 4);
        for (int drawn = 0; drawn < 10000; ++drawn) {
            if (fresh.unit() == next) return drawn;
        }
        return -1;
    }
};

TEST_F(ShootTest, WithoutApertureOneRayAndNoRandomNumbers) {
    myViewPoint.aperture = 0;
    computeCameraFrame();
    Ray ray;
    screenInit(ray);
    TraceContext context;
    Color color{9, 9, 9};
    EXPECT_EQ(randomDraws(context, [&] { shoot(ray, color, context); }), 0);
    EXPECT_DOUBLE_EQ(color.r, 0.2);
    EXPECT_DOUBLE_EQ(color.g, 0.4);
    EXPECT_DOUBLE_EQ(color.b, 0.6);
    EXPECT_EQ(context.depth, 0);
    EXPECT_EQ(context.rays.primary, 1);
}

// Every aperture sample passes through the primary ray's focal point, where the sphere sits:
// all of them see it although the aperture is twelve times its radius.
TEST_F(ShootTest, ApertureSamplesMeetAtTheFocalPoint) {
    for (int samples : {1, 3, 16}) {
        SCOPED_TRACE(samples);
        myViewPoint.cameraSamples = samples;
        computeCameraFrame();
        Ray ray;
        screenInit(ray);
        const Ray primary = ray;
        TraceContext context;
        Color color{0, 0, 0};
        // Four numbers per sample: magnitude and sign on each aperture axis.
        EXPECT_EQ(randomDraws(context, [&] { shoot(ray, color, context); }), 4 * samples);
        EXPECT_EQ(context.rays.primary, samples);
        EXPECT_NEAR(color.r, 0.2, kTolerance);
        EXPECT_NEAR(color.g, 0.4, kTolerance);
        EXPECT_NEAR(color.b, 0.6, kTolerance);
        expectVectorNear(ray.origin, primary.origin);
        expectVectorNear(ray.direction, primary.direction);
    }
}

}  // namespace
