#include "render/shade.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "accel/bound.h"
#include "model/globals.h"
#include "model/surface.h"
#include "primitives/plane.h"
#include "primitives/sphere.h"
#include "render/light.h"
#include "test_support.h"

namespace {

constexpr double kTolerance = 1e-12;

double radians(double degrees) {
    return degrees * std::numbers::pi / 180;
}

void expectColorNear(Color actual, Color expected) {
    EXPECT_NEAR(actual.r, expected.r, kTolerance);
    EXPECT_NEAR(actual.g, expected.g, kTolerance);
    EXPECT_NEAR(actual.b, expected.b, kTolerance);
}

bool isFinite(Color c) {
    return std::isfinite(c.r) && std::isfinite(c.g) && std::isfinite(c.b);
}

// Snell's law, worked with angles: the transmitted ray of an incident ray that makes the angle
// `incidence` with the normal (0, 0, 1) and travels down in the xz plane.
TEST(RefractionDirection, BendsByTheIndexRatio) {
    const struct {
        const char* what;
        double first, second;  // indices of the medium left and the medium entered
        double incidence;      // degrees
    } cases[] = {
        {"entering glass", 1, 1.5, 45},
        {"leaving glass", 1.5, 1, 20},
        {"along the normal", 1, 1.5, 0},
        {"leaving water at a steep angle", 1.33, 1, 45},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const double theta = radians(c.incidence);
        const Vector3 incident{std::sin(theta), 0, -std::cos(theta)};
        const double sinT = c.first / c.second * std::sin(theta);
        const double cosT = std::sqrt(1 - sinT * sinT);

        Vector3 out;
        EXPECT_EQ(refractionDirection(c.first, c.second, incident, {0, 0, 1}, out), 1);
        EXPECT_NEAR(out.x, sinT, kTolerance);
        EXPECT_NEAR(out.y, 0, kTolerance);
        EXPECT_NEAR(out.z, -cosT, kTolerance);
    }
}

TEST(RefractionDirection, TotalInternalReflectionFollowsTheMirror) {
    // Leaving glass at 60 degrees: 1.5 × sin 60° > 1, nothing gets out.
    const double theta = radians(60);
    const Vector3 incident{std::sin(theta), 0, -std::cos(theta)};
    Vector3 out;
    EXPECT_EQ(refractionDirection(1.5, 1, incident, {0, 0, 1}, out), 0);
    EXPECT_NEAR(out.x, std::sin(theta), kTolerance);
    EXPECT_NEAR(out.y, 0, kTolerance);
    EXPECT_NEAR(out.z, std::cos(theta), kTolerance);
}

// Scenes made of planes, each given as a scene file writes it: points P with n̂·P = distance,
// seen from the side n points to.
class TraceTest : public SceneTest {
  protected:
    static ObjectRecord& addPlane(Vector3 normal, double distance, const Surface& surface) {
        ObjectRecord* plane = makePlane(-normal.x, -normal.y, -normal.z, -distance);
        setSurfaceAttrib(*plane, surface);
        return *plane;
    }
    static Surface surface(Color color, double ambient) {
        Surface s = kDefaultSurface;
        s.color = color;
        s.ambient = ambient;
        return s;
    }
    static Color traceFrom(Vector3 origin, Vector3 direction, double* distance = nullptr) {
        buildBoundingSlabs();
        Color color{-1, -1, -1};
        TraceContext context;
        const double t = trace({origin, direction}, color, context);
        EXPECT_EQ(context.depth, 0);  // every level gives back the depth it took
        if (distance != nullptr) *distance = t;
        return color;
    }

    // A camera ray starts at (0, -5, 0) and travels +y towards the plane y = 0.
    static constexpr Vector3 kEye{0, -5, 0};
    static constexpr Vector3 kForward{0, 1, 0};
};

// Two planes facing each other, 10 apart, each reflecting half of what it sees: every level
// adds its ambient term, and the sixth reflected ray is refused and adds black.
TEST_F(TraceTest, TwoFacingMirrorsStopAfterFiveReflections) {
    Surface mirror = surface({1, 1, 1}, 0.1);
    mirror.reflection = 0.5;
    addPlane({0, -1, 0}, 0, mirror);
    addPlane({0, 1, 0}, -10, mirror);

    double expected = 0;
    for (int level = 0; level <= 5; ++level) expected += 0.1 * std::pow(0.5, level);
    double distance = 0;
    expectColorNear(traceFrom(kEye, kForward, &distance), {expected, expected, expected});
    EXPECT_EQ(distance, 5);
}

TEST_F(TraceTest, ColoursAreClampedFromAboveOnlyAtEveryLevel) {
    const struct {
        const char* what;
        double ambient, reflection;
        Color expected;
    } cases[] = {
        {"bright surface", 3, 0, {1, 1, 0.6}},
        {"negative ambient", -0.5, 0, {-0.5, -0.25, -0.1}},
        // The mirror sees the bright plane behind the eye clamped to 1 before halving it.
        {"mirror of a bright surface", 0, 0.5, {0.5, 0.5, 0.5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        freeHierarchy(&myObjectList);
        resetScene();
        Surface front = surface({1, 0.5, 0.2}, c.ambient);
        front.reflection = c.reflection;
        addPlane({0, -1, 0}, 0, front);
        addPlane({0, 1, 0}, -10, surface({1, 1, 1}, 4));
        expectColorNear(traceFrom(kEye, kForward), c.expected);
    }
}

TEST_F(TraceTest, APointOnALightIgnoresThatLight) {
    Surface lit = surface({1, 0.5, 0.25}, 0.2);
    lit.diffuse = 1;
    lit.specular = 1;
    addPlane({0, -1, 0}, 0, lit);
    makeLight({0, 0, 0}, {1, 1, 1}, LIGHT_POINT, ATTENUATION_D2, SHADOW_SMOOTH, 1, 4, 1, 1,
              {0, 0, -1});
    expectColorNear(traceFrom(kEye, kForward), {0.2, 0.1, 0.05});
}

// A light at no measurable distance (a damaged model can put it at infinity, or at a
// position that is not a number) lights nothing, and no shadow ray is sent towards it: such
// a ray has no direction to bound its search, so every sample would test every object.
TEST_F(TraceTest, ALightAtNoMeasurableDistanceIsIgnoredWithoutShadowRays) {
    const double infinity = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char* what;
        Vector3 position;
    } cases[] = {
        {"at infinity", {infinity, 0, 0}},
        {"not a number", {0, nan, 0}},
        {"too far for its distance to fit a double", {1e300, -1e300, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        freeHierarchy(&myObjectList);
        resetScene();
        Surface lit = surface({1, 0.5, 0.25}, 0.2);
        lit.diffuse = 1;
        lit.specular = 1;
        addPlane({0, -1, 0}, 0, lit);
        makeLight(c.position, {1, 1, 1}, LIGHT_POINT, ATTENUATION_NONE, SHADOW_SMOOTH, 1, 4, 1, 1,
                  {0, 0, -1});
        buildBoundingSlabs();
        Color color{-1, -1, -1};
        TraceContext context;
        trace({kEye, kForward}, color, context);
        expectColorNear(color, {0.2, 0.1, 0.05});
        EXPECT_EQ(context.rays.shadow, 0);
    }
}

// A ray that grazes a sphere meets it where the normal is perpendicular to the ray; the mirror
// ray then runs on along the ray and escapes to the background.
TEST_F(TraceTest, AGrazingRayReflectsAlongItself) {
    Surface shiny = surface({1, 0.5, 0.25}, 0.2);
    shiny.reflection = 0.5;
    shiny.specular = 0.5;
    setSurfaceAttrib(*makeSphere(0, 0, 0, 1), shiny);
    myBackGroundColor = {0.2, 0.4, 0.6};
    double distance = 0;
    expectColorNear(traceFrom({-5, 0, 1}, {1, 0, 0}, &distance), {0.3, 0.3, 0.35});
    EXPECT_EQ(distance, 5);
}

TEST_F(TraceTest, FuzzyReflectionWithoutSamplesIsSharp) {
    for (const int samples : {0, -3}) {
        SCOPED_TRACE(samples);
        freeHierarchy(&myObjectList);
        resetScene();
        Surface mirror = surface({0.2, 0.2, 0.2}, 0.1);
        mirror.reflection = 0.6;
        mirror.reflectionType = REFLECTION_FUZZY;
        mirror.reflectionSamples = samples;
        addPlane({0, -1, 0}, 0, mirror);
        addPlane({0, 1, 0}, -10, surface({0.9, 0.5, 0.1}, 1));
        expectColorNear(traceFrom(kEye, kForward),
                        {0.1 * 0.2 + 0.6 * 0.9, 0.1 * 0.2 + 0.6 * 0.5, 0.1 * 0.2 + 0.6 * 0.1});
    }
}

// A ray that starts on a plane and leaves along its normal meets it at distance 0, where a
// fuzzy reflection's spread has no bound: its samples scatter in every direction. Between two
// unbounded planes nearly every direction meets one of them, so the blue background, which
// lost samples would all show, stays out of the picture.
TEST_F(TraceTest, FuzzyReflectionSeenFromDistanceZeroScatters) {
    Surface mirror = surface({0.2, 0.2, 0.2}, 0.1);
    mirror.reflection = 0.6;
    mirror.reflectionType = REFLECTION_FUZZY;
    mirror.reflectionSamples = 3;
    addPlane({0, -1, 0}, 0, mirror);
    addPlane({0, 1, 0}, -10, surface({0.9, 0.5, 0.1}, 1));
    myBackGroundColor = {0, 0, 1};

    double distance = -1;
    const Color color = traceFrom({0, 0, 0}, kForward, &distance);
    EXPECT_EQ(distance, 0);
    ASSERT_TRUE(isFinite(color));
    EXPECT_GT(color.r, 0.1 * 0.2);  // some samples found the far plane or the mirror again
    EXPECT_LT(color.b, 0.3);        // with every sample lost: 0.1 × 0.2 + 0.6 × 1
}

// An index of exactly 1 lets nothing through, however transparent the surface.
TEST_F(TraceTest, RefractionIndexOneTransmitsNothing) {
    Surface clear = surface({0.5, 0.5, 0.5}, 0.2);
    clear.refraction = 0.8;
    clear.refractionIndex = 1;
    setSurfaceAttrib(*makeSphere(0, 0, 0, 1), clear);
    myBackGroundColor = {1, 1, 1};
    expectColorNear(traceFrom(kEye, kForward), {0.1, 0.1, 0.1});
}

}  // namespace
