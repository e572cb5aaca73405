#include "render/light.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <set>

#include "accel/bound.h"
#include "model/globals.h"
#include "model/surface.h"
#include "primitives/plane.h"
#include "primitives/sphere.h"
#include "test_support.h"

namespace {

constexpr double kTolerance = 1e-12;

// A point light with sharp shadows, as a light block without options makes it.
ObjectRecord& addLight(Vector3 position, Color color) {
    makeLight(position, color, LIGHT_POINT, ATTENUATION_D2, SHADOW_SHARP, 0, 0, 1, 1, {0, 0, -1});
    return *myLightList;
}

class LightingTest : public SceneTest {};

TEST_F(LightingTest, SpotFactorFallsLinearlyInTheCosineBetweenTheCones) {
    const struct {
        const char* what;
        double cosMin, cosMax;
        double cosA;  // cosine between the spot axis and the line from the light to the point
        std::optional<double> expected;
    } cases[] = {
        {"on the axis", 0.8, 0.6, 1, 1.0},
        {"on the inner cone", 0.8, 0.6, 0.8, 1.0},
        {"half way between the cones", 0.8, 0.6, 0.7, 0.5},
        {"exactly on the outer cone", 0.8, 0.6, 0.6, 0.0},
        {"just outside the outer cone", 0.8, 0.6, 0.5999, std::nullopt},
        {"equal cones, on them", 0.6, 0.6, 0.6, 1.0},
        {"equal cones, just outside", 0.6, 0.6, 0.59, std::nullopt},
        {"inner cone wider than the outer one", 0.5, 0.9, 0.7, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        resetScene();
        // Axis along -z, given unnormalised: the light normalises it.
        makeLight({0, 0, 0}, {1, 1, 1}, LIGHT_SPOT, ATTENUATION_NONE, SHADOW_SHARP, 0, 0, c.cosMin,
                  c.cosMax, {0, 0, -5});
        // The point lies below the light, so the way back to the light leans towards +z.
        const Vector3 toLight{std::sqrt(1 - c.cosA * c.cosA), 0, c.cosA};
        const std::optional<double> factor = spotFactor(*myLightList, toLight);
        ASSERT_EQ(factor.has_value(), c.expected.has_value());
        if (c.expected) {
            EXPECT_NEAR(*factor, *c.expected, kTolerance);
        }
    }
}

TEST_F(LightingTest, AttenuationFollowsTheDistanceByType) {
    const struct {
        int type;
        double expected;  // at distance 4
    } cases[] = {{ATTENUATION_NONE, 1}, {ATTENUATION_D, 0.25}, {ATTENUATION_D2, 0.0625}, {7, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        ObjectRecord& light = addLight({0, 0, 0}, {1, 1, 1});
        dataOf<LightData>(light).attenuationType = c.type;
        EXPECT_DOUBLE_EQ(attenuationFactor(light, 4), c.expected);
    }
}

// Shadow rays leave the plane y = 0 towards lights on its -y side. The plane is seen only
// from +y, and two primitives make a hierarchy, where the traversal honours the distance
// bound and the excluded object.
class ShadowTest : public LightingTest {
  protected:
    static ObjectRecord& addPlaneUnderTheLight() {
        ObjectRecord* plane = makePlane(0, 1, 0, 0);
        setSurfaceAttrib(*plane, kDefaultSurface);
        return *plane;
    }
    static void addSphere(Vector3 center, double radius) {
        setSurfaceAttrib(*makeSphere(center.x, center.y, center.z, radius), kDefaultSurface);
    }

    static constexpr Color kLightColor{0.8, 0.4, 2.0};
    TraceContext context;
};

TEST_F(ShadowTest, OnlyObjectsBetweenThePointAndTheLightShadowIt) {
    const struct {
        const char* what;
        Vector3 center;
        double radius;
        bool shadowed;
    } cases[] = {
        {"sphere between", {0, -1, 0}, 0.5, true},
        {"sphere beyond the light", {0, -4, 0}, 1, false},
        {"sphere touching the light from beyond", {0, -3, 0}, 1, false},
        {"sphere beside the shadow ray", {3, -1, 0}, 0.5, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        freeHierarchy(&myObjectList);
        resetScene();
        const ObjectRecord& plane = addPlaneUnderTheLight();
        addSphere(c.center, c.radius);
        buildBoundingSlabs();
        const ObjectRecord& light = addLight({0, -2, 0}, kLightColor);

        Ray shadowRay;
        const double dist = makeLightRay(light, {0, 0, 0}, shadowRay);
        const Color lc = getLightColor(light, plane, shadowRay, dist, context);
        const Color expected = c.shadowed ? Color{0, 0, 0} : kLightColor;
        EXPECT_EQ(lc.r, expected.r);
        EXPECT_EQ(lc.g, expected.g);
        EXPECT_EQ(lc.b, expected.b);
    }
}

TEST_F(ShadowTest, TheShadedObjectDoesNotShadowItself) {
    addPlaneUnderTheLight();
    ObjectRecord* sphere = makeSphere(0, -5, 0, 1);
    setSurfaceAttrib(*sphere, kDefaultSurface);
    buildBoundingSlabs();
    const ObjectRecord& light = addLight({0, -8, 0}, kLightColor);

    // From the sphere's far side the way to the light runs through the sphere itself.
    Ray shadowRay;
    const double dist = makeLightRay(light, {0, -4, 0}, shadowRay);
    EXPECT_EQ(getLightColor(light, *sphere, shadowRay, dist, context).b, kLightColor.b);
}

TEST_F(ShadowTest, SoftShadowIsTheLightTimesTheFractionOfFreeSamples) {
    const ObjectRecord& plane = addPlaneUnderTheLight();
    // Off the central shadow ray, but in the way of samples that lean towards +x.
    addSphere({2, -5, 0}, 1.5);
    buildBoundingSlabs();
    makeLight({0, -10, 0}, kLightColor, LIGHT_POINT, ATTENUATION_NONE, SHADOW_SMOOTH, 10, 4, 1, 1,
              {0, 0, -1});
    const ObjectRecord& light = *myLightList;

    Ray shadowRay;
    const double dist = makeLightRay(light, {0, 0, 0}, shadowRay);
    std::set<int> quarters;
    for (int i = 0; i < 200; ++i) {
        const Color lc = smoothShadow(light, plane, shadowRay, dist, context);
        const double fraction = lc.r / kLightColor.r;
        const double quarter = std::round(fraction * 4);
        ASSERT_NEAR(fraction * 4, quarter, kTolerance);
        // Every component is scaled by the same fraction.
        ASSERT_NEAR(lc.b, kLightColor.b * quarter / 4, kTolerance);
        quarters.insert(static_cast<int>(quarter));
    }
    // The sphere hides part of the light: some results lie strictly between none and all.
    EXPECT_TRUE(quarters.contains(1) || quarters.contains(2) || quarters.contains(3));
    for (const int quarter : quarters) {
        EXPECT_GE(quarter, 0);
        EXPECT_LE(quarter, 4);
    }
}

// A light skipped at a point it cannot light still takes the numbers its samples would have
// drawn: what the sample draws next is the same either way.
TEST_F(ShadowTest, SkippingASoftShadowLeavesTheStreamWhereTracingItWould) {
    const ObjectRecord& plane = addPlaneUnderTheLight();
    buildBoundingSlabs();
    for (const int samples : {1, 3, 16}) {
        SCOPED_TRACE(samples);
        makeLight({0, -10, 0}, kLightColor, LIGHT_POINT, ATTENUATION_NONE, SHADOW_SMOOTH, 1,
                  samples, 1, 1, {0, 0, -1});
        const ObjectRecord& light = *myLightList;
        Ray shadowRay;
        const double dist = makeLightRay(light, {0, 0, 0}, shadowRay);

        context.random.start(4, 7);
        smoothShadow(light, plane, shadowRay, dist, context);
        const double afterTracing = context.random.unit();
        context.random.start(4, 7);
        skipSmoothShadow(light, context);
        EXPECT_EQ(context.random.unit(), afterTracing);
    }
}

}  // namespace
